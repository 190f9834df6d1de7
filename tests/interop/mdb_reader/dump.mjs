// What mdb-reader reads from an Access file, as JSON on standard output, for
// the interop tests to compare with Kevra's own reading.
//   node dump.mjs FILE [--password P] --tables       user table names
//   node dump.mjs FILE [--password P] --table NAME   {"columns":[{name,type}], "rows":[[...]]}
// Values keep JSON's own types where they have one; dates become ISO texts,
// binary values "hex:..." and big integers their decimal text.
import MDBReader from "mdb-reader";
import { readFileSync } from "node:fs";

const args = process.argv.slice(2);
const file = args[0];
let password;
let table;
let listTables = false;
for (let i = 1; i < args.length; ++i) {
  if (args[i] === "--password") password = args[++i];
  else if (args[i] === "--table") table = args[++i];
  else if (args[i] === "--tables") listTables = true;
  else throw new Error(`unknown argument ${args[i]}`);
}

function plain(value) {
  if (value === null || value === undefined) return null;
  if (typeof value === "bigint") return value.toString();
  if (value instanceof Date) return value.toISOString();
  if (Buffer.isBuffer(value) || value instanceof Uint8Array) return "hex:" + Buffer.from(value).toString("hex");
  if (Array.isArray(value)) return value.map(plain);
  if (typeof value === "object") {
    const out = {};
    for (const [k, v] of Object.entries(value)) out[k] = plain(v);
    return out;
  }
  return value;
}

const reader = new MDBReader(readFileSync(file), password === undefined ? {} : { password });
if (listTables) {
  process.stdout.write(JSON.stringify(reader.getTableNames({ normalTables: true, systemTables: false, linkedTables: false })));
} else {
  const t = reader.getTable(table);
  const columns = t.getColumns().map((c) => ({ name: c.name, type: c.type }));
  const rows = t.getData().map((row) => columns.map((c) => plain(row[c.name])));
  process.stdout.write(JSON.stringify({ columns, rows }));
}
