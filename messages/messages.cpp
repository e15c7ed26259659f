// The texts of both languages, kept side by side so that neither is ever missing.
#include "messages/messages.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace messages {

namespace {

using problem::Kind;

/// Replaces each "{name}" of `text` by its value.
std::string fill(std::string text, std::initializer_list<std::pair<const char*, std::string>> values) {
    for (const auto& [name, value] : values) {
        const std::string key = std::string("{") + name + "}";
        for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
            text.replace(at, key.size(), value);
    }
    return text;
}

struct Text {
    std::string_view english;
    std::string_view chinese;
};

/// texts.tsv, read in by the build as a raw string literal.
constexpr std::string_view kTexts =
#include "texts_tsv.inc"
    ;

constexpr std::size_t kKinds = static_cast<std::size_t>(Kind::Unexpected) + 1;

/// The sentences of texts.tsv, row k for the kind numbered k. Read at compile time: a line
/// without its three columns, or a row more or less than there are kinds, stops the build.
constexpr std::array<Text, kKinds> readTexts(std::string_view tsv) {
    std::array<Text, kKinds> rows{};
    std::size_t count = 0;
    while (!tsv.empty()) {
        const std::size_t end = tsv.find('\n');
        const std::string_view line = tsv.substr(0, end);
        tsv = end == std::string_view::npos ? std::string_view{} : tsv.substr(end + 1);
        if (line.empty() || line[0] == '#') continue;
        const std::size_t english = line.find('\t');
        const std::size_t chinese =
            english == std::string_view::npos ? english : line.find('\t', english + 1);
        if (chinese == std::string_view::npos || count == kKinds)
            throw "texts.tsv: one line a problem kind: its name, the English, the Chinese, apart by tabs";
        rows[count++] = {line.substr(english + 1, chinese - english - 1), line.substr(chinese + 1)};
    }
    if (count != kKinds) throw "texts.tsv: a line for every problem kind";
    return rows;
}

constexpr std::array<Text, kKinds> kSentences = readTexts(kTexts);

/// The sentence of each kind. {path}, {tag}, {entry}, {value}, {os}, {encoding}, {other} and
/// {detail} stand for the problem's own values.
Text textOf(Kind kind) {
    const auto k = static_cast<std::size_t>(kind);
    return k < kKinds ? kSentences[k] : Text{"an unexpected fault of the program", "程序内部出错"};
}

std::string pick(const Text& t, Language lang) {
    return std::string(lang == Language::Chinese ? t.chinese : t.english);
}

/// "1 record", "2 records"; Chinese has one form.
std::string records(std::int64_t n) { return std::to_string(n) + (n == 1 ? " record" : " records"); }

/// A file's name in a message: "-" is standard input or output.
std::string fileName(const std::string& path, bool input, Language lang) {
    if (path != "-") return path;
    if (lang == Language::Chinese) return input ? "标准输入" : "标准输出";
    return input ? "standard input" : "standard output";
}

bool namesInput(Kind k) {
    switch (k) {
        case Kind::InputCannotOpen:
        case Kind::InputIsFolder:
        case Kind::InputIsOutput:
        case Kind::InputIsRejects:
        case Kind::InputIsFailureLog:
        case Kind::InputIsPartialFile:
        case Kind::InputReadFailed:
        case Kind::NoRecords:
        case Kind::Marc8:
        case Kind::EncodingContradicted:
        case Kind::NotIso2709:
        case Kind::ReviewInputNotFile:
            return true;
        default:
            return false;
    }
}

}  // namespace

Language fromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return std::strncmp(value, "zh", 2) == 0 ? Language::Chinese : Language::English;
    }
    return Language::English;
}

std::string osError(int err, Language lang) {
    if (lang == Language::English) return std::strerror(err);
    switch (err) {
        case ENOENT:
            return "文件或文件夹不存在";
        case EACCES:
        case EPERM:
            return "没有权限";
        case EROFS:
            return "文件系统是只读的";
        case ENOSPC:
        case EDQUOT:
            return "磁盘已满";
        case EISDIR:
            return "这是一个文件夹";
        case ENOTDIR:
            return "路径中有一项不是文件夹";
        case ENAMETOOLONG:
            return "文件名太长";
        case EIO:
            return "设备读写出错";
        case EBUSY:
        case ETXTBSY:
            return "文件正被占用";
        case EFBIG:
            return "文件太大";
        case EMFILE:
        case ENFILE:
            return "打开的文件太多";
        case ELOOP:
            return "符号链接层数太多";
        default:
            return "系统错误（错误号 " + std::to_string(err) + "）";
    }
}

std::string codePageName(codepage::Encoding e) {
    switch (e) {
        case codepage::Encoding::Gbk:
            return "GBK";
        case codepage::Encoding::Gb18030:
            return "GB18030";
        case codepage::Encoding::Utf8:
            return "UTF-8";
    }
    return "?";
}

std::string describe(const problem::Problem& p, Language lang) {
    const bool chinese = lang == Language::Chinese;
    std::string text = fill(pick(textOf(p.kind), lang),
                            {{"path", fileName(p.path, namesInput(p.kind), lang)},
                             {"tag", p.tag},
                             {"entry", std::to_string(p.entry)},
                             {"value", std::to_string(p.value)},
                             {"os", p.osError || p.detail.empty() ? osError(p.osError, lang) : p.detail},
                             {"encoding", p.encoding ? codePageName(*p.encoding) : std::string("?")},
                             {"other", p.other ? codePageName(*p.other) : std::string("?")},
                             {"detail", p.detail}});
    if (p.kind == Kind::InvalidBytes && p.other)
        text += fill(chinese ? "；它们像是 {other} 编码：文件是否为 {other}？"
                             : "; they read as {other}: is the file in {other}?",
                     {{"other", codePageName(*p.other)}});
    return text;
}

std::string failure(const app::RecordFailure& f, Language lang) {
    const std::string reason = describe(f.problem, lang);
    if (lang == Language::Chinese)
        return "第 " + std::to_string(f.number) + " 条记录（输入第 " + std::to_string(f.line) + " 行）：" +
               reason;
    return "record " + std::to_string(f.number) + " (input line " + std::to_string(f.line) + "): " + reason;
}

std::string failureLogLine(const app::RecordFailure& f, Language lang) {
    const std::string reason = describe(f.problem, lang);
    if (lang == Language::Chinese)
        return "第 " + std::to_string(f.number) + " 条记录，输入第 " + std::to_string(f.line) + " 行，第 " +
               std::to_string(f.offset) + " 字节" + (f.identifier.empty() ? "" : "，001 为 " + f.identifier) +
               "：" + reason;
    return "record " + std::to_string(f.number) + ", input line " + std::to_string(f.line) + ", byte " +
           std::to_string(f.offset) + (f.identifier.empty() ? "" : ", 001 " + f.identifier) + ": " + reason;
}

std::string summary(const app::BatchResult& r, Language lang) {
    const bool chinese = lang == Language::Chinese;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
    std::string text = chinese
                           ? "读取 " + std::to_string(r.read) + " 条记录，写入 " + std::to_string(r.written) +
                                 " 条，失败 " + std::to_string(r.failed) + " 条"
                           : records(r.read) + " read, " + std::to_string(r.written) + " written, " +
                                 std::to_string(r.failed) + " failed";
    if (r.skipped > 0)
        text += chinese ? "，跳过 " + std::to_string(r.skipped) + " 条"
                        : ", " + std::to_string(r.skipped) + " skipped";
    if (r.fillerBytes > 0)
        text += chinese
                    ? "，记录之间的 " + std::to_string(r.fillerBytes) + " 个填充字节（空格、NUL 等）已略过"
                    : ", " + std::to_string(r.fillerBytes) + (r.fillerBytes == 1 ? " byte" : " bytes") +
                          " of filler between records (spaces, NUL) passed over";
    if (r.charCounted > 0) {
        const std::string n = std::to_string(r.charCounted), log = r.failureLogPath;
        if (chinese)
            text += "，其中 " + n + " 条记录的目录按字符而非字节计算长度，已按字符读取" +
                    (log.empty() ? "" : "（见 " + log + "）");
        else
            text += ", " + n + (r.charCounted == 1 ? " record" : " records") +
                    " with lengths counted in characters, not bytes, read so" +
                    (log.empty() ? "" : " (see " + log + ")");
    }
    text += chinese ? std::string("，用时 ") + seconds + " 秒" : std::string(", ") + seconds + " s";
    if (r.asciiOnly && r.encodingDetected)
        text += chinese ? "，全部为 ASCII 字符" : ", ASCII only";
    else {
        if (chinese)
            text += "，编码 " + codePageName(r.encoding) + (r.encodingDetected ? "（自动识别）" : "");
        else
            text += std::string(", ") + (r.encodingDetected ? "detected " : "") +
                    std::string(codepage::encodingName(r.encoding));
    }
    if (r.failed > 0) {
        const std::string log = r.failureLogPath.empty()
                                    ? std::string()
                                    : (chinese ? "；原因见 " : "; reasons in ") + r.failureLogPath;
        if (r.rejectsKept == r.failed)
            text += chinese ? "（失败的记录另存于 " + r.rejectsPath + log + "）"
                            : " (failed records kept in " + r.rejectsPath + log + ")";
        else if (r.rejectsKept > 0)
            text += chinese ? "（" + std::to_string(r.rejectsKept) + " 条失败的记录另存于 " + r.rejectsPath +
                                  "，其余的未能保存" + log + "）"
                            : " (" + std::to_string(r.rejectsKept) + " of the failed records kept in " +
                                  r.rejectsPath + "; the others could not be kept" + log + ")";
        else
            text += chinese ? "（失败的记录未能保存" + log + "）"
                            : " (the failed records could not be kept" + log + ")";
    }
    return text;
}

namespace {

/// Where a stopped run goes on: "; the next is record N at input byte B (to go on, ...)".
std::string whereToGoOn(const app::BatchResult& r, Language lang, bool skipHint) {
    if (r.nextRecord <= 0) return {};
    const std::string next = std::to_string(r.nextRecord), offset = std::to_string(r.nextOffset),
                      skip = std::to_string(r.nextRecord - 1);
    if (lang == Language::Chinese)
        return "；下一条是第 " + next + " 条记录，位于输入文件第 " + offset + " 字节" +
               (skipHint ? "（继续处理请加上 --skip " + skip + " 再运行）" : "");
    return "; the next is record " + next + " at input byte " + offset +
           (skipHint ? " (to go on, run again with --skip " + skip + ")" : "");
}

}  // namespace

std::string stoppedByFault(const app::BatchResult& r, Language lang, bool skipHint) {
    const std::string why = r.stopProblem ? describe(*r.stopProblem, lang) : std::string();
    if (lang == Language::Chinese)
        return "处理中断：" + why + "；已写入 " + std::to_string(r.written) + " 条记录" +
               whereToGoOn(r, lang, skipHint);
    return "stopped: " + why + "; " + records(r.written) + " written" + whereToGoOn(r, lang, skipHint);
}

std::string stoppedByUser(const app::BatchResult& r, Language lang, bool skipHint) {
    if (lang == Language::Chinese)
        return "已停止处理：已写入 " + std::to_string(r.written) + " 条记录" + whereToGoOn(r, lang, skipHint);
    return "stopped: " + records(r.written) + " written" + whereToGoOn(r, lang, skipHint);
}

std::string nothingDone(const app::BatchResult& r, const std::string& tagList, Language lang) {
    const bool chinese = lang == Language::Chinese;
    if (r.written == 0 && r.read == 0 && r.skipped > 0)
        return chinese ? "没有写入任何记录：输入文件只有 " + std::to_string(r.skipped) +
                             " 条记录，全部被 --skip 跳过"
                       : "no record written: the input holds only " + records(r.skipped) +
                             ", and --skip passed over " + (r.skipped == 1 ? "it" : "them all");
    if (r.written == 0)
        return chinese ? "没有写入任何记录：每一条记录都失败了" : "no record written: every record failed";
    if (r.removePinyin) {
        if (r.fieldsListed == 0)
            return chinese ? "没有删除任何拼音：写入的记录中没有所列的字段（" + tagList + "）"
                           : "no pinyin taken out: none of the records written has a field listed (" +
                                 tagList + ")";
        return chinese ? "没有删除任何拼音：所列的字段（" + tagList + "）中没有拼音子字段，记录按原样写出"
                       : "no pinyin taken out: the listed fields (" + tagList +
                             ") carry none; the records were written as they came";
    }
    if (r.fieldsListed == 0)
        return chinese
                   ? "没有为任何字段添加拼音：写入的记录中没有所列的字段（" + tagList + "）"
                   : "no field got pinyin: none of the records written has a field listed (" + tagList + ")";
    if (r.subfields == pinyin::Subfields::Chinese)
        return chinese ? "没有为任何字段添加拼音：所列的字段（" + tagList +
                             "）中没有缺少拼音的含汉字小写代码子字段"
                       : "no field got pinyin: the listed fields (" + tagList +
                             ") hold no lower-case subfield with Chinese that lacks its pinyin";
    return chinese ? "没有为任何字段添加拼音：所列的字段（" + tagList + "）中没有 $a 子字段"
                   : "no field got pinyin: the listed fields (" + tagList + ") have no subfield a";
}

std::string lonePolyphonic(const std::vector<std::string>& lone, Language lang) {
    std::string list;
    for (const std::string& word : lone)
        list += (list.empty() ? "" : lang == Language::Chinese ? "、" : ", ") + word;
    if (lang == Language::Chinese)
        return "词表中有单个的多音字：" + list +
               "。词表中的单字决定含这个字的每个词的读音（如“行”也用于“银行”）；"
               "本次处理照常进行，如非本意，请从词表中删去这些行";
    return "the word list holds single characters of several readings: " + list +
           ". Each gives its reading to every word that holds it (行 in 银行 too); the run goes on, and if "
           "that "
           "is not meant, delete those lines from the list";
}

std::string tailRepaired(const app::BatchResult& r, const std::string& outputPath, Language lang) {
    const std::string n = std::to_string(r.tailRepaired);
    if (lang == Language::Chinese)
        return "已从输出文件 " + outputPath + " 末尾移走 " + n + " 字节的残缺记录，另存于 " + r.partialPath;
    return "cut " + n + (r.tailRepaired == 1 ? " byte" : " bytes") + " of a partial record off the end of " +
           outputPath + " and saved them to " + r.partialPath;
}

std::string repeatedRun(const app::BatchResult& r, Language lang, bool skipHint) {
    const std::string n = std::to_string(r.repeatsOutputEnd);
    if (lang == Language::Chinese)
        return "注意：第 " + n +
               " 条记录与输出文件原来的最后一条记录完全相同，输出文件可能已含有本输入的前 " + n + " 条记录" +
               (skipHint ? "（如要避免重复，请用 --skip " + n + "）" : "");
    return "note: record " + n +
           " came out exactly as the output's last record stood before this run: the output "
           "may already hold this input's records up to " +
           n + (skipHint ? " (to go on without duplicates, use --skip " + n + ")" : "");
}

std::string checkSummary(const app::CheckResult& r, Language lang) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    std::string text = lang == Language::Chinese
                           ? "读取 " + n(r.read) + " 条记录，核对 " + n(r.checked) + " 个字段，不一致 " +
                                 n(r.differing) + " 个，失败 " + n(r.failed) + " 条，用时 " + seconds + " 秒"
                           : records(r.read) + " read, " + n(r.checked) +
                                 (r.checked == 1 ? " field" : " fields") + " checked, " + n(r.differing) +
                                 " disagree, " + n(r.failed) + " failed, " + seconds + " s";
    if (r.stopProblem)
        text += (lang == Language::Chinese ? "；核对中断：" : "; stopped: ") + describe(*r.stopProblem, lang);
    return text;
}

std::string reviewSummary(const app::ReviewGathering& g, const std::string& path, Language lang) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", g.run.seconds);
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    const auto groups = static_cast<std::int64_t>(g.groups.size());
    std::string text = lang == Language::Chinese
                           ? "读取 " + n(g.run.read) + " 条记录，没把握的字 " + n(g.questions) +
                                 " 处，归为 " + n(groups) + " 组，写入审定表 " + path + "；失败 " +
                                 n(g.run.failed) + " 条，用时 " + seconds + " 秒"
                           : records(g.run.read) + " read, " + n(g.questions) + " unsure " +
                                 (g.questions == 1 ? "reading" : "readings") + " in " + n(groups) +
                                 (groups == 1 ? " group" : " groups") + ", written to " + path + "; " +
                                 n(g.run.failed) + " failed, " + seconds + " s";
    if (g.run.stopProblem)
        text += (lang == Language::Chinese ? "；中断：" : "; stopped: ") + describe(*g.run.stopProblem, lang);
    return text;
}

}  // namespace messages
