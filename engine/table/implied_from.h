// A SELECT written without FROM that names its fields by table
// ("Select Table1.col1 where Table1.col1 = 'x'"), as the parts of a saved
// union query can be: the FROM clause it implies, made explicit so the
// statement can run.
#pragma once
#include <string>

namespace kevra {

// `select` with "FROM" and the tables its qualified names use inserted before
// its WHERE, GROUP BY, HAVING or ORDER BY (or at its end), each SELECT a
// UNION joins on its own; unchanged when every one has a FROM already or
// names no table. Changed text has its tokens rejoined by single spaces.
std::string withImpliedFrom(const std::string& select);

}  // namespace kevra
