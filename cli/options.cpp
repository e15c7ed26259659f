// Option parsing with CLI11: allowed values checked while parsing, usage errors mapped to status 2.
#include "options.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <map>

#include "codepage/codepage.h"
#include "marc/identifiers.h"
#include "pinyin/datapath.h"

namespace cli {

namespace {

/// Whether the tag list holds at least one tag: three digits or capital letters in a row.
bool listsATag(const std::string& tags) {
    const auto tagChar = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
    for (std::size_t i = 0; i + 3 <= tags.size(); ++i)
        if (tagChar(tags[i]) && tagChar(tags[i + 1]) && tagChar(tags[i + 2])) return true;
    return false;
}

/// A choice among named values, mapped straight to the type that holds them: only the names are
/// taken and shown (the mapped values are not typed in), the default by its name.
template <class T>
CLI::Option* choice(CLI::Option* option, const std::map<std::string, T>& values, const std::string& byDefault) {
    std::vector<std::string> names;
    for (const auto& entry : values) names.push_back(entry.first);
    // A transform runs before those added earlier: the names are checked first, then mapped.
    return option->transform(CLI::CheckedTransformer(values).description(""))
        ->transform(CLI::IsMember(names))
        ->type_name("TEXT")
        ->default_str(byDefault);
}

}  // namespace

std::optional<int> parseOptions(int argc, const char* const* argv, Options& o) {
    CLI::App app{
        "Adds pinyin to the Chinese fields of ISO 2709 (CNMARC) records and appends the records to "
        "OUTPUT.\nFailed records are kept in OUTPUT.rejected.\n"
        "Exit status: 0 every record written, 1 some failed, 2 the run could not start or was stopped.",
        "marc-pinyin-cli"};
    app.add_option("INPUT", o.input, "record file to read, - for standard input")->required();
    app.add_option("OUTPUT", o.output,
                   "file to append to (created if missing), - for standard output; "
                   "not needed with --dump and --lines");
    app.add_option("--tags", o.tags, "fields that get pinyin, matched as text")->capture_default_str();
    app.add_option("--code", o.code, "code of the pinyin subfield")
        ->check(CLI::IsMember({"A", "9"}))->capture_default_str();
    choice(app.add_option("--case", o.letterCase, "lower case, or capital initials as stored"),
           std::map<std::string, pinyin::LetterCase>{{"lower", pinyin::LetterCase::Lower},
                                                     {"capital", pinyin::LetterCase::Capitalised}},
           "lower");
    app.add_option("--existing", o.existing, "fields that already carry pinyin: re-do or keep them")
        ->check(CLI::IsMember({"delete", "keep"}))->capture_default_str();
    choice(app.add_option("--polyphone", o.polyphone,
                          "characters with several readings: the first reading, ask on the terminal, the "
                          "reading the words around call for, or ask only when the words do not decide"),
           std::map<std::string, PolyphoneChoice>{{"first", PolyphoneChoice::First},
                                                  {"ask", PolyphoneChoice::Ask},
                                                  {"phrase", PolyphoneChoice::Phrase},
                                                  {"ask-unsure", PolyphoneChoice::AskUnsure}},
           "phrase");
    app.add_option("--encoding", o.encoding,
                   "code page of the input and the output; auto decides from the input's first bytes")
        ->check(CLI::IsMember({"auto", "gbk", "gb18030", "utf-8"}))->capture_default_str();
    app.add_option("--leader", o.leader,
                   "keep each record's own leader (only its length and base address recomputed), or "
                   "build it from the templates nam0/oam2")
        ->check(CLI::IsMember({"keep", "template"}))->capture_default_str();
    app.add_option("--db", o.db,
                   "the pinyin database (default: py.db beside this program, else "
                   "../share/marc-pinyin/py.db from its folder)");
    choice(app.add_option("--separator", o.separator,
                          "after each output record: as in the input (CR LF when a line break follows its "
                          "first record, else nothing), CR LF, or none (a plain ISO 2709 stream)"),
           std::map<std::string, app::Separator>{{"auto", app::Separator::AsInput},
                                                 {"crlf", app::Separator::CrLf},
                                                 {"none", app::Separator::None}},
           "auto");
    auto* dump = app.add_flag("--dump", o.dump,
                              "print each input record as working record text to standard output");
    auto* lines = app.add_flag("--lines", o.lines,
                               "each input line is plain text: print its pinyin, one line each");
    app.add_option("--field", o.field, "with --lines: the field the text stands in (for surnames)")
        ->capture_default_str();
    app.add_flag("--quiet", o.quiet, "no progress line and no summary");
    app.add_option("--skip", o.skip,
                   "read past the first N records without writing them (to go on after a stopped run)")
        ->check(CLI::NonNegativeNumber);
    app.set_version_flag("--version", "marc-pinyin-cli " MARCPY_VERSION);
    app.add_option("--words", o.words,
                   "a word list of your own (UTF-8: word, tab, syllables), before every other rule; "
                   "may be given more than once, later files win")
        ->expected(1)->allow_extra_args(false)->take_all();
    auto* check = app.add_flag("--check", o.check,
                               "write no records: compare the pinyin fields already carry with ours "
                               "and write each disagreement to OUTPUT (tab-separated, UTF-8)");
    dump->excludes(lines);
    check->excludes(dump)->excludes(lines);

    try {
        app.parse(argc, argv);
        if (o.output.empty() && !o.dump && !o.lines)
            throw CLI::RequiredError("OUTPUT");
        if (o.dump && !o.output.empty() && o.output != "-")
            throw CLI::ValidationError("OUTPUT", "--dump prints to standard output; give no OUTPUT");
        if (o.field.size() != 3) throw CLI::ValidationError("--field", "a tag has three characters");
        if (!listsATag(o.tags))
            throw CLI::ValidationError("--tags", "\"" + o.tags + "\" lists no tag (three digits or capital letters, such as 200 or AVA)");
    } catch (const CLI::ParseError& e) {
        int status = app.exit(e);
        return status == 0 ? 0 : kCannotStart;
    }
    return std::nullopt;
}

app::BatchOptions toBatchOptions(const Options& o) {
    app::BatchOptions b;
    b.inputPath = o.input;
    b.outputPath = o.output.empty() ? "-" : o.output;
    b.dbPath = o.db.empty() ? pinyin::datapath(pinyin::programFolder()) : o.db;
    b.autoEncoding = o.encoding == "auto";
    b.encoding = codepage::encodingFromName(o.encoding).value_or(codepage::Encoding::Gbk);
    b.keepLeader = o.leader == "keep";
    b.identifierStatePath = marc::IdentifierSequence::defaultStatePath();
    b.skip = o.skip;
    b.separator = o.separator;
    return b;
}

pinyin::RunSettings toRunSettings(const Options& o) {
    pinyin::RunSettings s;
    s.tagList = o.tags;
    s.useCodeA = o.code == "A";
    s.delExisting = o.existing == "delete";
    s.letterCase = o.letterCase;
    s.polyphone = o.polyphone == PolyphoneChoice::First    ? pinyin::Polyphone::Automatic
                  : o.polyphone == PolyphoneChoice::Phrase ? pinyin::Polyphone::Phrase
                                                           : pinyin::Polyphone::Manual;
    s.askOnlyWhenUnsure = o.polyphone == PolyphoneChoice::AskUnsure;
    return s;
}

}  // namespace cli
