// The program's own message boxes, beside the error display: the question
// asked before a command destroys something, and the note shown after the
// few commands that report success. Both go through the dialog seam.
#pragma once
#include <QString>

class QWidget;

namespace kevra::ui {

// Asks "Confirm" with a question icon, Yes (the default) and No. The text is
// `loss`, one sentence naming what goes, followed by the warning that it
// cannot be undone and the question. True only for Yes.
bool confirmLoss(QWidget* parent, const QString& loss);

// The text confirmLoss() shows for `loss`.
QString lossQuestion(const QString& loss);

// Shows `text` in an "Information" box with one OK button.
void showInformation(QWidget* parent, const QString& text);

}  // namespace kevra::ui
