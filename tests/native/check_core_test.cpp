#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "command_line.h"
#include "file_check.h"
#include "loader_result.h"
#include "report_text.h"
#include "table_typings.h"

using namespace std::string_literals;

namespace {

// Everything orvo-check prints for the report, one line each.
std::string Printed(const FileReport& report) {
  std::string printed;
  for (const Finding& finding : report.findings) printed += FindingText("f", finding) + "\n";
  if (report.nullReason) printed += FindingText("f", *report.nullReason) + "\n";
  if (const std::string verdict = VerdictText("f", report); !verdict.empty())
    printed += verdict + "\n";
  return printed;
}

struct Case {
  const char* name;
  std::string bytes;
  std::string printed;
};

TEST(CheckFxt, FindingsAndVerdicts) {
  const Case cases[] = {
      {"entries", "B 2\r\nA 1\n", "f: 2 entries\n"},
      {"one entry, comments and blanks", "# c\n; c\n \t\nK v", "f: 1 entry\n"},
      {"empty", "", "f: no entry line: the loader gives null\n"},
      {"only comments and lines without a blank", "#x y\nWORD\n",
       "f:2: skipped: no blank after trimming\nf: no entry line: the loader gives null\n"},
      {"a tab in place of the blank", "K v\nKEY\tvalue\n",
       "f:2: skipped: no blank after trimming (a tab does not separate key from value)\n"
       "f: 1 entry\n"},
      {"a tab in the key", "KEY\tsub value\n",
       "f:1:4: key KEY\\tsub holds a tab: a tab does not separate key from value\nf: 1 entry\n"},
      {"a key three times", "A 1\nB 2\nA 3\n A 4\n",
       "f:3: key A repeats line 1; the later line wins\n"
       "f:4: key A repeats line 3; the later line wins\nf: 2 entries\n"},
      {"not UTF-8 in a comment", "K v\n# caf\xE9\n",
       "f:2:6: not UTF-8 (byte 0xE9): the loader gives null\n"},
      {"a surrogate's encoding", "K \xED\xA0\x80\n",
       "f:1:3: not UTF-8 (byte 0xED): the loader gives null\n"},
      {"byte-order mark before an entry", "\xEF\xBB\xBFK v\n",
       "f:1: the file starts with a byte-order mark, which becomes part of the first key\n"
       "f: 1 entry\n"},
      {"byte-order mark before a comment: an entry", "\xEF\xBB\xBF# note\n",
       "f:1: the file starts with a byte-order mark, which becomes part of the first key\n"
       "f: 1 entry\n"},
      {"byte-order mark before a word", "\xEF\xBB\xBFWORD\nK v\n",
       "f:1: the file starts with a byte-order mark, which the loader reads as part of the first "
       "line\nf:1: skipped: no blank after trimming\nf: 1 entry\n"},
      {"carriage returns alone", "A 1\rB 2\rC 3\r",
       "f: no line feed, 3 carriage returns: the whole file is one line\nf: 1 entry\n"},
      {"a zero byte is content", "K\0v w\n"s, "f: 1 entry\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Printed(CheckFxt(c.bytes)), c.printed) << c.name;
}

TEST(CheckText, FindingsAndVerdicts) {
  const Case cases[] = {
      {"empty", "", "f: 0 lines\n"},
      {"only a line feed", "\n", "f: 1 line\n"},
      {"CR LF and a last line", "a\r\nb\r\nc", "f: 3 lines\n"},
      {"carriage returns alone", "a\rb\r",
       "f: no line feed, 2 carriage returns: the whole file is one line\nf: 1 line\n"},
      {"not UTF-8", "ok\nna\xEFve\n\xFF\n",
       "f:2:3: not UTF-8 (byte 0xEF): the host receives the line's bytes unchanged\n"
       "f:3:1: not UTF-8 (byte 0xFF): the host receives the line's bytes unchanged\n"
       "f: 3 lines\n"},
      {"0x1A", "a\nbc\x1A" + std::string(2113, 'x'),
       "f:2:3: byte 0x1A ends the text here; 2,113 bytes after it are not read\nf: 2 lines\n"},
      {"0x1A last, and a line feed after it", "a\n\x1A\n",
       "f:2:1: byte 0x1A ends the text here; 1 byte after it is not read\nf: 1 line\n"},
      {"a line feed after the 0x1A does not count", "\x1A\n\r",
       "f:1:1: byte 0x1A ends the text here; 2 bytes after it are not read\nf: 0 lines\n"},
      {"byte-order mark", "\xEF\xBB\xBFline\n",
       "f:1: the file starts with a byte-order mark, which stays at the start of the first line\n"
       "f: 1 line\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Printed(CheckText(c.bytes)), c.printed) << c.name;
}

TEST(CheckLevels, NullFailsAlwaysLossOnlyWhenStrict) {
  const FileReport lost = CheckFxt("K v\nK w\n");
  EXPECT_FALSE(HasFindingAtLeast(lost, Level::kError));
  EXPECT_TRUE(HasFindingAtLeast(lost, Level::kWarning));
  const FileReport noted = CheckFxt("\xEF\xBB\xBFK v\n");
  EXPECT_FALSE(HasFindingAtLeast(noted, Level::kWarning));
  EXPECT_TRUE(HasFindingAtLeast(CheckUnreadable(Loader::kLinvar, "gone"), Level::kError));
  EXPECT_EQ(Printed(CheckUnreadable(Loader::kLinvar, "Access is denied. (os error 5)")),
            "f: cannot read: Access is denied. (os error 5): the loader gives null\n");
}

TEST(CheckJson, LinesForTools) {
  const FileReport report = CheckFxt("K v\n\"Q\" \\\nK w\n");
  ASSERT_EQ(report.findings.size(), 1u);
  EXPECT_EQ(FindingJson("a\xFF\".fxt", report.findings[0]),
            "{\"file\":\"a\xEF\xBF\xBD\\\".fxt\",\"line\":3,\"column\":null,\"level\":\"warning\","
            "\"code\":\"repeated-key\",\"message\":\"key K repeats line 1; the later line wins\"}");
  EXPECT_EQ(VerdictJson("a.fxt", report),
            "{\"file\":\"a.fxt\",\"loader\":\"Quorlet\",\"result\":\"object\",\"count\":2}");
  EXPECT_EQ(VerdictJson("b.txt", CheckUnreadable(Loader::kLinvar, "x")),
            "{\"file\":\"b.txt\",\"loader\":\"Linvar\",\"result\":\"null\"}");
  EXPECT_EQ(
      TypingsJson("t.fxt", "t.fxt.d.ts", TypingsState::kOutdated, 3),
      "{\"file\":\"t.fxt\",\"declaration\":\"t.fxt.d.ts\",\"state\":\"outdated\",\"count\":3}");
}

TEST(CheckCounts, GroupThousands) {
  EXPECT_EQ(CountText(0, "line", "lines"), "0 lines");
  EXPECT_EQ(CountText(999, "line", "lines"), "999 lines");
  EXPECT_EQ(CountText(1000, "line", "lines"), "1,000 lines");
  EXPECT_EQ(CountText(1234567, "entry", "entries"), "1,234,567 entries");
}

TEST(CheckTypings, KeysAsStringLiterals) {
  const struct {
    std::string key, literal;
  } cases[] = {
      {"PLAIN", "\"PLAIN\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\path", "\"C:\\\\path\""},
      {"a\tb\x01\x7F"
       "c"s +
           '\0',
       "\"a\\x09b\\x01\\x7fc\\x00\""},
      {"line\xE2\x80\xA8para\xE2\x80\xA9", "\"line\\u2028para\\u2029\""},
      {"caf\xC3\xA9 \xE2\x80\xA7", "\"caf\xC3\xA9 \xE2\x80\xA7\""},  // U+2027 stays
      {"\xE2\x80", "\"\xE2\x80\""},
  };
  for (const auto& c : cases) EXPECT_EQ(TypeScriptString(c.key), c.literal) << c.key;
}

TEST(CheckLoaderResult, KeysOfTheLoadersJson) {
  const std::optional<std::string> json =
      QuorletJson("B 2\n\"q\\ \\\"\nK\x01\x1F\b\f\x7F \\u0041\nA 1\nB 3\nt\xC3\xA9 \"\n");
  ASSERT_TRUE(json);
  EXPECT_EQ(JsonObjectKeys(*json),
            (std::vector<std::string>{"\"q\\", "A", "B", "K\x01\x1F\b\f\x7F", "t\xC3\xA9"}));
  EXPECT_EQ(JsonObjectSize(*json), 5u);
  EXPECT_EQ(JsonObjectSize("{\"a\\\\\":\"\\\"\",\"b\":\"c\"}"), 2u);
  EXPECT_FALSE(QuorletJson("# none\n"));
}

TEST(CheckTypings, DeclarationOfTable) {
  EXPECT_EQ(TableTypings({"A", "B"}),
            "// The keys of the table beside this file, written by orvo-check --typings.\n"
            "// Run it again when the table changes (orvo-check --typings --check tells).\n"
            "declare const table: {\n"
            "  readonly \"A\": string;\n"
            "  readonly \"B\": string;\n"
            "};\n"
            "export default table;\n");
  EXPECT_EQ(TypingsPathFor("dir/strings.fxt"), "dir/strings.fxt.d.ts");
}

TEST(CheckCommandLine, OptionsAndUsageErrors) {
  const struct {
    std::vector<std::string> arguments;
    std::string error;  // empty when the line is good
  } cases[] = {
      {{"a.fxt", "b.TXT", "c.text"}, ""},
      {{"--strict", "--json", "--", "-odd.fxt"}, ""},
      {{"--typings", "--check", "a.FXT"}, ""},
      {{"--help"}, ""},
      {{}, "no file given"},
      {{"--strictly", "a.fxt"}, "unknown option --strictly"},
      {{"a.ini"}, "a.ini: no loader reads it (.fxt, .txt, .text)"},
      {{"dir.fxt/a"}, "dir.fxt/a: no loader reads it (.fxt, .txt, .text)"},
      {{"a.txt", "--typings"}, "a.txt: --typings takes FXT tables (.fxt)"},
      {{"--check", "a.fxt"}, "--check goes with --typings"},
      {{"--strict", "--typings", "a.fxt"}, "--strict does not go with --typings"},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseCommandLine(c.arguments);
    const std::string* error = std::get_if<std::string>(&parsed);
    EXPECT_EQ(error != nullptr ? *error : "", c.error) << testing::PrintToString(c.arguments);
  }
  const auto parsed = ParseCommandLine({"--json", "--", "--x.fxt", "b.txt"});
  const Options& options = std::get<Options>(parsed);
  EXPECT_TRUE(options.json);
  EXPECT_FALSE(options.strict);
  EXPECT_EQ(options.files, (std::vector<std::string>{"--x.fxt", "b.txt"}));
}

}  // namespace
