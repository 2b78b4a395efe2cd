// Imports assigned to types they do not have: the compiler must refuse both.
import table from "./strings.fxt";
import notes from "./notes.txt";

export const count: number = table;
export const text: string = notes;
