// The database password of a Jet file, as a program asks about it before it
// opens the file: whether one is set, and whether a given one is right. The
// password is a field of the header of a Jet file, and the key of an
// encrypted .accdb file (checked through its verifier); nothing else is read.
#pragma once
#include <string>

namespace kevra::db {

// True when the file at `path` is a database whose header holds a password.
// A file that cannot be read or is not a database gives false: opening it
// then reports what is wrong.
bool databaseHasPassword(const std::string& path);

// True when `password` opens the file at `path` (any password does for a
// file without one).
bool databasePasswordMatches(const std::string& path, const std::string& password);

}  // namespace kevra::db
