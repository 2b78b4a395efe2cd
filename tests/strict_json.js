// strict_json.js [--remove] [FILE...]: every non-empty line of the files (or
// of standard input) is a JSON text, checked by an established strict parser:
// the bytes must be UTF-8 (TextDecoder, fatal) and the text JSON (JSON.parse,
// which takes nothing beyond RFC 8259: no NaN, comments or trailing commas).
// With --remove the files are deleted once read. Exits 77 (skipped) when there
// is no text at all: the tests that record texts did not run.
"use strict";
const fs = require("fs");

const args = process.argv.slice(2);
const remove = args[0] === "--remove";
const files = remove ? args.slice(1) : args;
const decoder = new TextDecoder("utf-8", { fatal: true });
let checked = 0;
let failed = 0;

function check(name, bytes) {
  let start = 0;
  for (let line = 1; start < bytes.length; ++line) {
    let end = bytes.indexOf(0x0a, start);
    if (end < 0) end = bytes.length;
    const text = bytes.subarray(start, end);
    start = end + 1;
    if (text.length === 0) continue;
    try {
      JSON.parse(decoder.decode(text));
      ++checked;
    } catch (error) {
      ++failed;
      console.log(`FAIL: ${name}:${line}: ${error.message}: ${text.subarray(0, 200)}`);
    }
  }
}

if (files.length === 0) check("stdin", fs.readFileSync(0));
for (const file of files) {
  if (!fs.existsSync(file)) continue;
  check(file, fs.readFileSync(file));
  if (remove) fs.unlinkSync(file);
}
if (checked + failed === 0) {
  console.log("SKIP: no JSON text to check");
  process.exit(77);
}
console.log(`${checked} JSON texts parsed strictly, ${failed} refused`);
process.exit(failed === 0 ? 0 : 1);
