// External anchor for bench/run-bench: DuckDB's parallel CSV reader ingests
// the same data file and aggregates every column (count, min, max, mean), on
// all cores. No spectra: this is only what a columnar engine needs to read
// the file once.
//
//   node bench/duckdb_ingest.mjs DATA.csv
//
// Needs the npm package @duckdb/node-api, which run-bench --duckdb installs
// into a scratch folder; VUX_DUCKDB_MODULE names its lib/index.js. Prints
// the row count and the elapsed seconds.
import { openSync, readSync, closeSync } from "node:fs";

const path = process.argv[2];
const modulePath = process.env.VUX_DUCKDB_MODULE;
if (!path || !modulePath) {
    console.error("usage: VUX_DUCKDB_MODULE=.../@duckdb/node-api/lib/index.js node duckdb_ingest.mjs DATA.csv");
    process.exit(2);
}
const start = process.hrtime.bigint();
const { DuckDBInstance } = await import(modulePath);

// The data file's header ends at the marker line; the headings line follows.
const marker = "Data Starts Here,,,,,,,,,,,,,,,,,,,";
const fd = openSync(path, "r");
const head = Buffer.alloc(1 << 20);
const got = readSync(fd, head, 0, head.length, 0);
closeSync(fd);
const lines = head.subarray(0, got).toString("latin1").split("\n");
const skip = lines.findIndex((l) => l.replace(/\r$/, "") === marker) + 1;
if (skip <= 0) {
    console.error(`no marker line in the first MiB of ${path}`);
    process.exit(1);
}

const instance = await DuckDBInstance.create(":memory:");
const connection = await instance.connect();
// The headings line ends in a comma (one more field than the rows): the ten
// columns are named here and read as numbers, the headings line skipped.
const columns = Array.from({ length: 10 }, (_, i) => `c${i}`);
const types = columns.map((c) => `'${c}': 'DOUBLE'`).join(", ");
const source = `read_csv('${path.replaceAll("'", "''")}', skip=${skip + 1}, header=false, columns={${types}})`;
const aggregates = columns.map((c) => `min(${c}), max(${c}), avg(${c})`).join(", ");
const result = await connection.runAndReadAll(`SELECT count(*), ${aggregates} FROM ${source}`);
const rows = result.getRows()[0][0];
const seconds = Number(process.hrtime.bigint() - start) / 1e9;
console.log(`rows ${rows}`);
console.log(`elapsed ${seconds.toFixed(3)} s`);
