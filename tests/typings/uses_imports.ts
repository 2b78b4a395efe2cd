// A script that uses its three kinds of import as the plug-ins' typings
// declare them: an FXT table as an object of strings, text files as arrays.
import table from "./strings.fxt";
import notes from "./notes.txt";
import readme from "./readme.text";

const strings: Record<string, string> = table;
const hello: string = strings["HELLO"];
const lines: string[] = notes.concat(readme);
const first: string = lines[0];

export const summary: string = [hello, first, Object.keys(table).length, lines.length].join(" ");
