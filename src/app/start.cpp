// The checks every run makes before it reads a record.
#include "app/start.h"

namespace app {
namespace {

/// py.db's failure as the failure of the run's start, its OS error kept for the front end to word.
StartError startErrorOf(const pinyin::DbError& e, const std::string& dbPath) {
    problem::Problem p;
    p.kind = e.kind;
    p.path = dbPath;
    p.detail = e.detail;
    p.osError = e.osError;
    return StartError(p, e.what());
}

}  // namespace

void refuse(const FileProblem& p) {
    if (p) throw StartError(*p, p->detail);
}

void refuseSameFile(const InputFile& input, const std::string& inputPath, const std::string& path,
                    problem::Kind kind, const std::string& what) {
    if (!isOpenFile(input.fd(), path)) return;
    problem::Problem p;
    p.kind = kind;
    p.path = inputPath;
    throw StartError(p, "the input " + inputPath + " is " + what);
}

void checkOutput(const InputFile& input, const std::string& inputPath, const AppendFile& output,
                 const std::string& what) {
    refuse(output.check());
    refuseSameFile(input, inputPath, output.path(), problem::Kind::InputIsOutput, what);
}

PhraseUse phraseUseOf(const pinyin::RunSettings& settings) {
    using pinyin::Polyphone;
    if (settings.polyphone == Polyphone::Phrase) return PhraseUse::Required;
    if (settings.polyphone != Polyphone::Manual) return PhraseUse::None;
    return settings.askOnlyWhenUnsure ? PhraseUse::Required : PhraseUse::IfPresent;
}

std::shared_ptr<const pinyin::PinyinTable> loadTable(const std::string& dbPath, PhraseUse use) {
    using Phrases = pinyin::PinyinTable::Phrases;
    try {
        return pinyin::PinyinTable::load(dbPath, use == PhraseUse::None ? Phrases::WhenFirstAsked : Phrases::Alongside);
    } catch (const pinyin::DbError& e) {
        throw startErrorOf(e, dbPath);
    }
}

void checkPhrases(const pinyin::PinyinTable& table, const std::string& dbPath, PhraseUse use) {
    if (use == PhraseUse::None) return;
    try {
        if (table.phrases() || use == PhraseUse::IfPresent) return;
    } catch (const pinyin::DbError& e) {
        throw startErrorOf(e, dbPath);
    }
    problem::Problem p;
    p.kind = problem::Kind::DbNoPhrases;
    p.path = dbPath;
    throw StartError(p, "the pinyin database " + dbPath +
                            " has no phrase tables, which choosing readings by the words around needs");
}

}  // namespace app
