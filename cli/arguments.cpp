// Splitting command-line words into positional arguments and options.
#include "cli/commands.h"

namespace kevra::cli {

Arguments parseArguments(const std::vector<std::string>& args) {
  Arguments a;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& w = args[i];
    auto value = [&](const std::string& name) -> std::string {
      size_t eq = w.find('=');
      if (eq != std::string::npos) return w.substr(eq + 1);
      if (i + 1 >= args.size()) throw UsageError("Option " + name + " needs a value.");
      return args[++i];
    };
    if (w.rfind("--format", 0) == 0) {
      a.format = value("--format");
    } else if (w.rfind("--output", 0) == 0 || w == "-o") {
      a.output = value("--output");
    } else if (w.rfind("--password", 0) == 0) {
      a.password = value("--password");
    } else if (w.rfind("--codepage", 0) == 0) {
      a.codePage = value("--codepage");
    } else if (w.rfind("--rows", 0) == 0) {
      a.rows = value("--rows");
    } else if (w.rfind("--to", 0) == 0) {
      a.to = value("--to");
    } else if (w.rfind("--seed", 0) == 0) {
      a.seed = value("--seed");
    } else if (w.rfind("--schema", 0) == 0) {
      a.schema = value("--schema");
    } else if (w.rfind("--tables", 0) == 0) {
      a.tables = value("--tables");
    } else if (w.rfind("--attachments", 0) == 0) {
      a.attachments = value("--attachments");
    } else if (w.rfind("--report", 0) == 0) {
      a.report = value("--report");
    } else if (w == "--replace") {
      a.replace = true;
    } else if (w == "--atomic") {
      a.atomic = true;
    } else if (w == "--discard-journal") {
      a.discardJournal = true;
    } else if (w == "--plan") {
      a.plan = true;
    } else if (w == "--links") {
      a.links = true;
    } else if (w.size() > 1 && w[0] == '-' && w != "-") {
      throw UsageError("Unknown option '" + w + "'.");
    } else {
      a.positional.push_back(w);
    }
  }
  return a;
}

const char* usageText() {
  return "Usage: kevra-cli COMMAND [ARGUMENTS]\n"
         "\n"
         "Commands:\n"
         "  tables FILE [--links]       list the user tables, one per line; with --links the\n"
         "                              linked tables after them, as NAME<tab>-> FILE\n"
         "  schema FILE [TABLE]         print the structure of the tables as JSON\n"
         "  export FILE TABLE           print every row of TABLE\n"
         "      --format csv|jsonl      output format (default csv)\n"
         "      --output PATH           write to PATH instead of standard output\n"
         "      --attachments DIR       also save the files of attachment columns (.accdb)\n"
         "                              as DIR/COLUMN/ROW/NAME, ROW counting from 1\n"
         "  export FILE TABLE --to dbase|excel|html|paradox|text DIR\n"
         "                              write TABLE as a file of that kind into the folder DIR\n"
         "                              (a file that exists there is never replaced)\n"
         "  import FILE SOURCE [TABLE...]\n"
         "                              copy tables from the file SOURCE (.mdb, .xls, .db, .dbf,\n"
         "                              .htm, .html, .txt, .csv) into new tables of FILE; from\n"
         "                              .mdb and .xls the TABLEs named, or all of them\n"
         "  sql FILE \"STATEMENT\"        run one SQL statement; SELECT prints JSON Lines,\n"
         "                              INSERT/UPDATE/DELETE print the rows affected\n"
         "      [--plan]                print how the statement would read each table instead\n"
         "  check FILE                  verify rows, indexes and page maps; exit 1 on problems\n"
         "  create FILE                 make a new, empty Jet 4 database; refuses a file that\n"
         "                              exists (--password PW gives it a database password)\n"
         "  compact SOURCE DESTINATION  write a compacted copy of SOURCE to the new file\n"
         "                              DESTINATION (the source is not changed)\n"
         "  recover FILE                undo an interrupted change from the journal beside\n"
         "                              FILE when its pages show it belongs there\n"
         "      --discard-journal       set the journal aside instead, keeping FILE as it is\n"
         "  generate FILE --rows N      make a new database with a table Customers of N rows\n"
         "      [--seed S]              and a table Orders of N/10 rows referring to it\n"
         "  upsize FILE TARGET          copy tables, keys, indexes, relationships and rows\n"
         "                              into TARGET: sqlite:PATH or a PostgreSQL connection\n"
         "                              string or URI; every table is checksummed on both\n"
         "                              sides and compared\n"
         "      --tables A,B            only these tables (default: every user table)\n"
         "      --schema NAME           PostgreSQL schema for the tables (default public)\n"
         "      --replace               replace tables that already exist in TARGET\n"
         "      --atomic                one transaction for everything (default: one a table)\n"
         "      --report PATH           where the report goes (default FILE.upsize-report.txt)\n"
         "\n"
         "Options for every command:\n"
         "  --password PW               database password of a protected file\n"
         "  --codepage N                read the text of an Access 97 file in code page N\n"
         "                              (e.g. 1251, or 936 for GBK) instead of the one its\n"
         "                              header names\n"
         "  --help                      show this text\n";
}

}  // namespace kevra::cli
