// Option parsing with CLI11: allowed values checked while parsing, usage errors mapped to status 2.
#include "options.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string_view>
#include <utility>

#include "app/start.h"
#include "codepage/codepage.h"
#include "marc/identifiers.h"
#include "messages/messages.h"
#include "pinyin/db_path.h"

namespace cli {

namespace {

/// A usage error, as the message table words it.
struct Usage {
    problem::Problem problem;
};

[[noreturn]] void usage(problem::Kind kind, std::string option, std::string detail = {},
                        std::string allowed = {}) {
    problem::Problem p = problem::of(kind, std::move(option));
    p.detail = std::move(detail);
    p.tag = std::move(allowed);
    throw Usage{std::move(p)};
}

/// `value`'s name in `names` (the names as the help shows them), or a usage error.
template <class T>
T pickOne(const char* option, const std::string& value, const std::vector<std::pair<std::string, T>>& names) {
    std::string allowed;
    for (const auto& [name, mapped] : names) {
        if (name == value) return mapped;
        allowed += (allowed.empty() ? "" : ", ") + name;
    }
    usage(problem::Kind::UsageBadChoice, option, value, allowed);
}

/// The option an error of the parser's names: its first word, when it is an option.
std::string optionOf(const std::string& what) {
    const std::size_t end = what.find_first_of(": ");
    const std::string first = what.substr(0, end);
    return first.rfind("-", 0) == 0 ? first : std::string();
}

}  // namespace

std::optional<int> parseOptions(int argc, const char* const* argv, Options& o) {
    CLI::App app{
        "Adds pinyin to the Chinese fields of ISO 2709 (CNMARC) records and appends the records to "
        "OUTPUT.\nFailed records are kept in OUTPUT.rejected.\n"
        "Exit status: 0 every record written, 1 some failed or the run did nothing (no record written, "
        "no field got pinyin), 2 the run could not start or was stopped.",
        "marc-pinyin-cli"};
    // Values are checked below, not by the parser, so that every usage error is worded in the
    // locale's language.
    std::string letterCase = "lower", polyphone = "phrase", separator = "auto", skip = "0", spacing = "glued";
    app.allow_extras();
    app.add_option("INPUT", o.input, "record file to read, - for standard input");
    app.add_option("OUTPUT", o.output,
                   "file to append to (created if missing), - for standard output; "
                   "not needed with --dump and --lines");
    app.add_option("--tags", o.tags,
                   "fields that get pinyin: tags of three digits or capital letters, "
                   "apart by commas or spaces")
        ->capture_default_str();
    app.add_option("--code", o.code, "code of the pinyin subfield: A or 9")->capture_default_str();
    app.add_option("--subfields", o.subfields,
                   "which subfields get pinyin: subfield a only, into the subfield --code names (a), or "
                   "every lower-case subfield that holds Chinese, into the capital of its code: $a to $A, "
                   "$e to $E, $f to $F (chinese)")
        ->capture_default_str();
    app.add_flag("--remove-pinyin", o.removePinyin,
                 "take out the pinyin subfields that --subfields and --code write, add none, change "
                 "nothing else (records without pinyin come through byte for byte)");
    app.add_option("--case", letterCase, "lower case, or capital initials as stored: lower or capital")
        ->capture_default_str();
    app.add_option(
           "--spacing", spacing,
           "digits and Latin letters beside the pinyin: glued to the next syllable (glued: \"di 1ban\") "
           "or set apart by a space (apart: \"di 1 ban\")")
        ->capture_default_str();
    app.add_option("--existing", o.existing, "fields that already carry pinyin: re-do (delete) or keep them")
        ->capture_default_str();
    app.add_option("--polyphone", polyphone,
                   "characters with several readings: the first reading (first), ask on the terminal (ask), "
                   "the reading the words around call for (phrase), or ask only when the words do not "
                   "decide (ask-unsure)")
        ->capture_default_str();
    app.add_option("--encoding", o.encoding,
                   "code page of the input and the output: auto, gbk, gb18030 or utf-8; auto decides from "
                   "the input's first bytes")
        ->capture_default_str();
    app.add_option("--leader", o.leader,
                   "keep each record's own leader (only its length and base address recomputed), or "
                   "build it from the templates nam0/oam2 (template)")
        ->capture_default_str();
    app.add_option("--db", o.db,
                   "the pinyin database (default: py.db beside this program, else "
                   "../share/marc-pinyin/py.db from its folder)");
    app.add_option("--separator", separator,
                   "after each output record: as in the input (auto: the line break, LF or CR LF, that "
                   "follows its first record, else nothing), CR LF (crlf), LF (lf), or nothing (none: a "
                   "plain ISO 2709 stream)")
        ->capture_default_str();
    app.add_flag("--dump", o.dump, "print each input record as working record text to standard output");
    app.add_flag("--lines", o.lines, "each input line is plain text: print its pinyin, one line each");
    app.add_option("--field", o.field, "with --lines: the field the text stands in (for surnames)")
        ->capture_default_str();
    app.add_flag("--quiet", o.quiet, "no progress line and no summary");
    app.add_option("--skip", skip,
                   "read past the first N records without writing them (to go on after a stopped run)");
    app.add_option("--rejects", o.rejects,
                   "where failed records go (default: OUTPUT.rejected; beside the input when OUTPUT is a "
                   "device or a FIFO)");
    app.add_flag("--repair-tail", o.repairTail,
                 "when OUTPUT ends with part of a record (a run that was killed), move those bytes to "
                 "OUTPUT.partial and cut the output back to its last whole record before appending");
    app.set_version_flag("--version", "marc-pinyin-cli " MARCPY_VERSION);
    app.add_option("--words", o.words,
                   "a word list of your own (UTF-8: word, tab, syllables), before every other rule; "
                   "may be given more than once, later files win")
        ->expected(1)
        ->allow_extra_args(false)
        ->take_all();
    app.add_flag("--check", o.check,
                 "write no records: compare the pinyin fields already carry with ours "
                 "and write each disagreement to OUTPUT (tab-separated, UTF-8)");

    app.add_option("--review-out", o.reviewOut,
                   "write no records: gather every reading the words around do not settle, grouped by "
                   "word, into this review file (tab-separated, UTF-8); takes INPUT only");
    app.add_option("--answers", o.answers,
                   "a review file (from --review-out) whose readings the run takes for every occurrence "
                   "of each group; otherwise as --polyphone phrase");

    using problem::Kind;
    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp&) {
            throw;
        } catch (const CLI::CallForVersion&) {
            throw;
        } catch (const CLI::ArgumentMismatch& e) {
            const std::string option = optionOf(e.what());
            if (option.empty()) usage(Kind::UsageOther, {}, e.what());
            usage(Kind::UsageNeedsValue, option);
        } catch (const CLI::ParseError& e) {
            usage(Kind::UsageOther, {}, e.what());
        }
        for (const std::string& extra : app.remaining()) {
            if (extra.size() > 1 && extra[0] == '-') usage(Kind::UsageUnknownOption, {}, extra);
        }
        if (!app.remaining().empty()) {
            std::string rest;
            for (const std::string& extra : app.remaining()) rest += (rest.empty() ? "" : " ") + extra;
            usage(Kind::UsageTooMany, {}, rest);
        }
        const std::pair<const char*, bool> modes[] = {{"--dump", o.dump},
                                                      {"--lines", o.lines},
                                                      {"--check", o.check},
                                                      {"--remove-pinyin", o.removePinyin},
                                                      {"--review-out", !o.reviewOut.empty()},
                                                      {"--answers", !o.answers.empty()}};
        for (std::size_t i = 0; i < std::size(modes); ++i)
            for (std::size_t k = i + 1; k < std::size(modes); ++k)
                if (modes[i].second && modes[k].second)
                    usage(Kind::UsageExcludes, modes[i].first, modes[k].first);
        if (o.input.empty()) throw Usage{problem::of(Kind::NoInputPath)};
        if (!o.reviewOut.empty() && !o.output.empty()) usage(Kind::UsageTooMany, {}, o.output);
        if (!o.answers.empty() && polyphone != "phrase")
            usage(Kind::UsageExcludes, "--answers", "--polyphone " + polyphone);
        if (o.output.empty() && !o.dump && !o.lines && o.reviewOut.empty())
            throw Usage{problem::of(Kind::NoOutputPath)};
        if (o.dump && !o.output.empty() && o.output != "-") usage(Kind::UsageDumpTakesNoOutput, {}, o.output);
        pickOne<int>("--code", o.code, {{"A", 0}, {"9", 0}});
        pickOne<int>("--subfields", o.subfields, {{"a", 0}, {"chinese", 0}});
        if (o.subfields == "chinese" && o.code == "9")
            usage(Kind::UsageCode9EverySubfield, "--code 9", "--subfields chinese");
        o.letterCase = pickOne<pinyin::LetterCase>(
            "--case", letterCase,
            {{"lower", pinyin::LetterCase::Lower}, {"capital", pinyin::LetterCase::Capitalised}});
        o.spacing = pickOne<pinyin::Spacing>(
            "--spacing", spacing, {{"glued", pinyin::Spacing::Glued}, {"apart", pinyin::Spacing::Apart}});
        pickOne<int>("--existing", o.existing, {{"delete", 0}, {"keep", 0}});
        o.polyphone = pickOne<PolyphoneChoice>("--polyphone", polyphone,
                                               {{"first", PolyphoneChoice::First},
                                                {"ask", PolyphoneChoice::Ask},
                                                {"phrase", PolyphoneChoice::Phrase},
                                                {"ask-unsure", PolyphoneChoice::AskUnsure}});
        pickOne<int>("--encoding", o.encoding, {{"auto", 0}, {"gbk", 0}, {"gb18030", 0}, {"utf-8", 0}});
        pickOne<int>("--leader", o.leader, {{"keep", 0}, {"template", 0}});
        o.separator = pickOne<app::Separator>("--separator", separator,
                                              {{"auto", app::Separator::AsInput},
                                               {"crlf", app::Separator::CrLf},
                                               {"lf", app::Separator::Lf},
                                               {"none", app::Separator::None}});
        if (skip.empty() || skip.size() > 18 || skip.find_first_not_of("0123456789") != std::string::npos)
            usage(Kind::UsageNotANumber, "--skip", skip);
        o.skip = std::stoll(skip);
        if (app::badTag(o.field) || o.field.find_first_of(", ;\t") != std::string::npos)
            usage(Kind::UsageBadTag, "--field", o.field);
        if (const auto bad = app::badTag(o.tags)) usage(Kind::UsageBadTag, "--tags", *bad);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kCannotStart;  // help and version
    } catch (const Usage& u) {
        std::fprintf(stderr, "marc-pinyin-cli: %s\n",
                     messages::describe(u.problem, messages::fromEnvironment()).c_str());
        return kCannotStart;
    }
    return std::nullopt;
}

app::BatchOptions toBatchOptions(const Options& o) {
    app::BatchOptions b;
    b.inputPath = o.input;
    b.outputPath = o.output.empty() ? "-" : o.output;
    b.dbPath = o.db.empty() ? pinyin::pyDbPath(pinyin::programFolder()) : o.db;
    b.autoEncoding = o.encoding == "auto";
    b.encoding = codepage::encodingFromName(o.encoding).value_or(codepage::Encoding::Gbk);
    b.keepLeader = o.leader == "keep";
    b.identifierStatePath = marc::IdentifierSequence::defaultStatePath();
    b.skip = o.skip;
    b.separator = o.separator;
    b.rejectsPath = o.rejects;
    b.repairTail = o.repairTail;
    return b;
}

app::ReviewOptions toReviewOptions(const Options& o) {
    app::ReviewOptions r;
    r.tags = o.tags;
    r.existing = o.existing;
    r.subfields = o.subfields;
    r.encoding = o.encoding;
    for (const std::string& w : o.words) {
        if (!r.words.empty()) r.words += ',';
        r.words += w;
    }
    return r;
}

pinyin::RunSettings toRunSettings(const Options& o) {
    pinyin::RunSettings s;
    s.tagList = o.tags;
    s.useCodeA = o.code == "A";
    s.delExisting = o.existing == "delete";
    s.subfields = o.subfields == "chinese" ? pinyin::Subfields::Chinese : pinyin::Subfields::A;
    s.removePinyin = o.removePinyin;
    s.letterCase = o.letterCase;
    s.spacing = o.spacing;
    s.polyphone = o.polyphone == PolyphoneChoice::First    ? pinyin::Polyphone::Automatic
                  : o.polyphone == PolyphoneChoice::Phrase ? pinyin::Polyphone::Phrase
                                                           : pinyin::Polyphone::Manual;
    s.askOnlyWhenUnsure = o.polyphone == PolyphoneChoice::AskUnsure;
    return s;
}

}  // namespace cli
