// kevra-cli generate FILE --rows N [--seed S]: a new database holding
// realistic data for benchmarks and big-file tests on any machine —
// Customers (autonumber primary key, indexed text, Long, Double, Currency,
// date, Yes/No, Memo, text in several scripts) with N rows, and Orders with
// N/10 rows whose CustomerID refers to Customers through an enforced
// relationship. The same seed makes the same rows.
#include <cstdio>
#include <random>

#include "cli/commands.h"
#include "engine/storage/file_system.h"
#include "engine/table/database.h"
#include "engine/table/database_creator.h"
#include "engine/table/schema_writer.h"
#include "engine/table/table_writer.h"

namespace kevra::cli {
namespace {

constexpr long kRowsPerTransaction = 250000;

ColumnSpec field(const std::string& name, ColumnType type, uint16_t length = 0, bool autoNumber = false) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.length = length;
  c.autoNumber = autoNumber;
  return c;
}

IndexSpec indexOn(const std::string& name, const std::string& column, bool primary) {
  IndexSpec i;
  i.name = name;
  i.columns = {{column, false}};
  i.primaryKey = primary;
  return i;
}

long parseCount(const std::string& text, const std::string& option) {
  try {
    size_t used = 0;
    const long n = std::stol(text, &used);
    if (used == text.size() && n >= 0) return n;
  } catch (const std::exception&) {
  }
  throw UsageError(option + " takes a whole number of 0 or more, not '" + text + "'.");
}

// Inserts `count` rows made by `make`, a transaction per batch.
template <typename Make>
void fill(const std::shared_ptr<Database>& db, const std::string& table, long count, Make make) {
  auto def = db->table(table);
  TableWriter writer(db);
  std::vector<std::optional<Value>> row(def->columns.size());
  for (long done = 0; done < count;) {
    writer.begin();
    for (long i = 0; i < kRowsPerTransaction && done < count; ++i, ++done) {
      make(done, row);
      writer.insertRow(*def, row);
    }
    writer.commit();
  }
}

}  // namespace

int runGenerate(const Arguments& args) {
  if (args.positional.size() != 1) throw UsageError("generate takes one FILE argument.");
  if (args.rows.empty()) throw UsageError("generate needs --rows N.");
  const long rows = parseCount(args.rows, "--rows");
  const uint64_t seed = args.seed.empty() ? 1 : uint64_t(parseCount(args.seed, "--seed"));
  const std::string& path = args.positional[0];
  createDatabase(realFileSystem(), path);

  OpenOptions options;
  options.readOnly = false;
  auto db = Database::open(path, options);
  {
    TableWriter writer(db);
    SchemaWriter schema(db, writer);
    schema.createTable("Customers",
                       {field("ID", ColumnType::Long, 4, true), field("Name", ColumnType::Text, 120),
                        field("Qty", ColumnType::Long, 4), field("Score", ColumnType::Double, 8),
                        field("Balance", ColumnType::Currency, 8), field("Created", ColumnType::DateTime, 8),
                        field("Active", ColumnType::Boolean, 1), field("Notes", ColumnType::Memo),
                        field("Label", ColumnType::Text, 80)},
                       {indexOn("PrimaryKey", "ID", true)});
    schema.createTable("Orders",
                       {field("ID", ColumnType::Long, 4, true), field("CustomerID", ColumnType::Long, 4),
                        field("Amount", ColumnType::Currency, 8), field("Ordered", ColumnType::DateTime, 8)},
                       {indexOn("PrimaryKey", "ID", true)});
  }

  static const char* kWords[] = {"alpha", "Bravo", "charlie", "Delta", "écho",  "Ωμέγα", "Мир",
                                 "kilo",  "lima",  "Zulu",    "北京",   "São",   "Łódź",  "İzmir"};
  std::mt19937_64 rng(seed);
  auto word = [&] { return std::string(kWords[rng() % 14]); };
  fill(db, "Customers", rows, [&](long i, std::vector<std::optional<Value>>& row) {
    row[1] = Value(word() + " " + word() + " " + std::to_string(rng() % 1000000));
    row[2] = Value(int32_t(rng() % 2000000) - 1000000);
    row[3] = Value(double(rng() % 100000000) / 97.0);
    row[4] = Value(Currency{int64_t(rng() % 1000000000)});
    row[5] = Value(DateTime{36526.0 + double(rng() % 9000) + double(rng() % 86400) / 86400.0});
    row[6] = Value(bool(rng() & 1));
    row[7] = i % 5 == 0 ? Value("Note " + std::to_string(i) + ": " + std::string(rng() % 200, 'n')) : Value{};
    row[8] = Value(word());
  });
  const long orders = rows / 10;
  fill(db, "Orders", rows > 0 ? orders : 0, [&](long, std::vector<std::optional<Value>>& row) {
    row[1] = Value(int32_t(1 + rng() % uint64_t(rows)));
    row[2] = Value(Currency{int64_t(rng() % 10000000)});
    row[3] = Value(DateTime{40000.0 + double(rng() % 5000)});
  });
  {
    // The Name index is built once the rows are in, from its keys sorted in
    // one pass. Kept up row by row, its random keys would touch nearly every
    // page of the growing index in each transaction, and the time per row
    // would grow with the table.
    TableWriter writer(db);
    SchemaWriter(db, writer).createIndex("Customers", indexOn("Name", "Name", false));
  }
  {
    // The relationship comes last: each order's customer is then checked
    // once, through the customers' key.
    TableWriter writer(db);
    RelationshipSpec link;
    link.table = "Orders";
    link.columns = {"CustomerID"};
    link.referencedTable = "Customers";
    SchemaWriter(db, writer).addRelationship(link);
  }
  std::printf("Created %s: Customers %ld rows, Orders %ld rows\n", path.c_str(), rows, orders);
  return 0;
}

}  // namespace kevra::cli
