// The texts of both languages, kept side by side so that neither is ever missing.
#include "messages/messages.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    const char* english;
    const char* chinese;
};

/// The sentence of each kind. {path}, {tag}, {entry}, {value}, {os}, {encoding}, {other} and
/// {detail} stand for the problem's own values.
Text textOf(Kind kind) {
    switch (kind) {
        case Kind::NoInputPath: return {"no input file given", "未指定输入文件"};
        case Kind::InputCannotOpen: return {"cannot open the input file {path}: {os}", "无法打开输入文件 {path}：{os}"};
        case Kind::InputIsFolder: return {"the input {path} is a folder, not a file", "输入 {path} 是文件夹，不是文件"};
        case Kind::NoOutputPath: return {"no output file given", "未指定输出文件"};
        case Kind::OutputIsFolder: return {"the output {path} is a folder, not a file", "输出 {path} 是文件夹，不是文件"};
        case Kind::OutputCannotOpen:
            return {"cannot open the output file {path} for appending: {os}", "无法打开输出文件 {path} 追加写入：{os}"};
        case Kind::OutputFolderMissing:
            return {"cannot create the output file {path}: {os}", "无法创建输出文件 {path}：{os}"};
        case Kind::OutputBusy:
            return {"another run is writing to {path}; wait until it has ended",
                    "另一个处理正在写入 {path}，请等它结束后再开始"};
        case Kind::InputIsOutput:
            return {"the input file {path} is the output file itself", "输入文件 {path} 就是输出文件本身"};
        case Kind::InputIsRejects:
            return {"the input file {path} is the output's file of failed records",
                    "输入文件 {path} 是输出文件的失败记录文件"};
        case Kind::DbCannotOpen: return {"cannot open the pinyin database {path}: {os}", "无法打开拼音数据库 {path}：{os}"};
        case Kind::DbNotReadable:
            return {"the pinyin database {path} cannot be read: {detail}",
                    "无法读取拼音数据库 {path}：它不是 SQLite 数据库，或已损坏"};
        case Kind::DbNoPinYinTable:
            return {"the pinyin database {path} has no table PinYin", "拼音数据库 {path} 中没有 PinYin 表"};
        case Kind::DbNoColumns:
            return {"the table PinYin of the pinyin database {path} lacks the columns hz and Py1",
                    "拼音数据库 {path} 的 PinYin 表缺少 hz 和 Py1 两列"};
        case Kind::DbEmpty:
            return {"the table PinYin of the pinyin database {path} holds no characters",
                    "拼音数据库 {path} 的 PinYin 表中没有任何汉字"};
        case Kind::DbNoPhrases:
            return {"the pinyin database {path} has no phrase tables, which choosing readings by the words around "
                    "needs",
                    "拼音数据库 {path} 中没有词语表，按词语选择读音需要它"};
        case Kind::Marc8:
            return {"the input is in MARC-8, which this program does not read; convert it to UTF-8 first, for "
                    "example with: yaz-marcdump -f MARC-8 -t UTF-8 -o marc INPUT > OUTPUT",
                    "输入文件是 MARC-8 编码，本程序不能读取；请先转换为 UTF-8，例如："
                    "yaz-marcdump -f MARC-8 -t UTF-8 -o marc 输入文件 > 输出文件"};
        case Kind::EncodingContradicted:
            return {"the input looks like {other}, not {encoding}: choose {other} or automatic detection",
                    "输入文件看来是 {other} 编码，而不是 {encoding}：请选择 {other} 或自动识别"};
        case Kind::NotIso2709:
            return {"this is not an ISO 2709 file: nothing in its first megabyte looks like a record",
                    "这不是 ISO 2709 文件：文件开头 1 MB 内没有任何像记录的内容"};
        case Kind::WordsCannotRead: return {"cannot read the word list {path}: {os}", "无法读取词表 {path}：{os}"};
        case Kind::WordsInvalid:
            return {"the word list {path}, line {value}: {detail}",
                    "词表 {path} 第 {value} 行不合格式：每行应为词语、制表符、以空格分隔的拼音（每字一个音节）"};
        case Kind::InputReadFailed: return {"cannot read the input file {path}: {os}", "无法读取输入文件 {path}：{os}"};
        case Kind::RejectsWriteFailed:
            return {"cannot write the file of failed records {path}: {os}", "无法写入失败记录文件 {path}：{os}"};
        case Kind::CutShort:
            return {"the file ends before the record's terminator", "文件在记录结束符之前就结束了，记录不完整"};
        case Kind::NextRecordInside:
            return {"the record has lost its terminator: the next record starts inside it",
                    "记录缺少结束符：下一条记录从它中间开始"};
        case Kind::TooLong: return {"no record terminator within 4 MiB", "4 MB 之内没有记录结束符"};
        case Kind::NoFieldTerminator:
            return {"no field terminator: the record has no directory", "没有字段结束符：记录缺少目录"};
        case Kind::TerminatorInLeader:
            return {"the first field terminator stands at byte {value}, inside the 24-byte leader",
                    "第一个字段结束符位于第 {value} 字节，在 24 字节的头标之内"};
        case Kind::EntryLengthNotANumber:
            return {"directory entry {entry}: the field length is not a number", "目录第 {entry} 项：字段长度不是数字"};
        case Kind::EntryStartNotANumber:
            return {"directory entry {entry}: the starting position is not a number",
                    "目录第 {entry} 项：起始位置不是数字"};
        case Kind::BadTag:
            return {"directory entry {entry}: the tag \"{tag}\" is not three letters or digits",
                    "目录第 {entry} 项：字段标识“{tag}”不是三个字母或数字"};
        case Kind::FieldLengthZero:
            return {"field {tag} (directory entry {entry}): the directory gives it length 0",
                    "字段 {tag}（目录第 {entry} 项）：目录中的长度为 0"};
        case Kind::FieldPastEnd:
            return {"field {tag} (directory entry {entry}): it runs past the end of the record",
                    "字段 {tag}（目录第 {entry} 项）：超出了记录的末尾"};
        case Kind::FieldNotTerminated:
            return {"field {tag} (directory entry {entry}): it does not end with a field terminator where the "
                    "directory says",
                    "字段 {tag}（目录第 {entry} 项）：在目录所指的位置没有字段结束符"};
        case Kind::FieldTerminatorInData:
            return {"field {tag} (directory entry {entry}): a field terminator stands inside its data",
                    "字段 {tag}（目录第 {entry} 项）：数据中含有字段结束符"};
        case Kind::RecordTerminatorInData:
            return {"field {tag} (directory entry {entry}): a record terminator stands inside its data",
                    "字段 {tag}（目录第 {entry} 项）：数据中含有记录结束符"};
        case Kind::LineBreakInData:
            return {"field {tag}: a line break stands inside its data", "字段 {tag}：数据中含有换行符"};
        case Kind::DataFieldTooShort:
            return {"field {tag} (directory entry {entry}): the field is shorter than its two indicators",
                    "字段 {tag}（目录第 {entry} 项）：字段短于两个指示符"};
        case Kind::NoFields: return {"the record has no fields", "记录中没有字段"};
        case Kind::EmptySubfield: return {"field {tag}: an empty subfield", "字段 {tag}：有空的子字段"};
        case Kind::FieldTooLong:
            return {"field {tag}: the field would be {value} bytes long; a field may hold at most 9999",
                    "字段 {tag}：字段长 {value} 字节，超过了 9999 字节的上限"};
        case Kind::FieldStartTooFar:
            return {"field {tag}: the field would start beyond byte 99999 of the record",
                    "字段 {tag}：字段的起始位置超过了记录的第 99999 字节"};
        case Kind::RecordTooLong:
            return {"the record would be {value} bytes long; a record may hold at most 99999",
                    "记录长 {value} 字节，超过了 99999 字节的上限"};
        case Kind::TagNotSingleBytes:
            return {"field {tag}: a tag must be three single-byte characters", "字段 {tag}：字段标识必须是三个单字节字符"};
        case Kind::LeaderCodeInvalid:
            return {"field 000: its leader code is not four single-byte characters", "字段 000：头标代码不是四个单字节字符"};
        case Kind::TerminatorInText:
            return {"field {tag}: its text holds a terminator", "字段 {tag}：文本中含有结束符"};
        case Kind::InvalidBytes:
            return {"field {tag}: the bytes at input byte {value} are not valid {encoding}",
                    "字段 {tag}：输入文件第 {value} 字节处的内容不是有效的 {encoding} 编码"};
        case Kind::NothingToWrite:
            return {"the record has no field to write besides 001 and 005", "记录中除 001 和 005 外没有可写的字段"};
        case Kind::OutputWriteFailed: return {"cannot write the output file {path}: {os}", "无法写入输出文件 {path}：{os}"};
        case Kind::DbFailed:
            return {"the pinyin database {path} failed: {detail}", "读取拼音数据库 {path} 时出错，处理已停止"};
        case Kind::Unexpected: return {"an unexpected fault of the program: {detail}", "程序内部出错，请报告此问题"};
    }
    return {"an unexpected fault of the program", "程序内部出错"};
}

const char* pick(const Text& t, Language lang) { return lang == Language::Chinese ? t.chinese : t.english; }

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
        case ENOENT: return "文件或文件夹不存在";
        case EACCES:
        case EPERM: return "没有权限";
        case EROFS: return "文件系统是只读的";
        case ENOSPC:
        case EDQUOT: return "磁盘已满";
        case EISDIR: return "这是一个文件夹";
        case ENOTDIR: return "路径中有一项不是文件夹";
        case ENAMETOOLONG: return "文件名太长";
        case EIO: return "设备读写出错";
        case EBUSY:
        case ETXTBSY: return "文件正被占用";
        case EFBIG: return "文件太大";
        case EMFILE:
        case ENFILE: return "打开的文件太多";
        case ELOOP: return "符号链接层数太多";
        default: return "系统错误（错误号 " + std::to_string(err) + "）";
    }
}

std::string codePageName(codepage::Encoding e) {
    switch (e) {
        case codepage::Encoding::Gbk: return "GBK";
        case codepage::Encoding::Gb18030: return "GB18030";
        case codepage::Encoding::Utf8: return "UTF-8";
    }
    return "?";
}

std::string describe(const problem::Problem& p, Language lang) {
    const bool chinese = lang == Language::Chinese;
    std::string text = fill(pick(textOf(p.kind), lang),
                            {{"path", p.path},
                             {"tag", p.tag},
                             {"entry", std::to_string(p.entry)},
                             {"value", std::to_string(p.value)},
                             {"os", p.osError || p.detail.empty() ? osError(p.osError, lang) : p.detail},
                             {"encoding", p.encoding ? codePageName(*p.encoding) : std::string("?")},
                             {"other", p.other ? codePageName(*p.other) : std::string("?")},
                             {"detail", p.detail}});
    if (p.kind == Kind::InvalidBytes && p.other)
        text += fill(chinese ? "；它们像是 {other} 编码：文件是否为 {other}？" : "; they read as {other}: is the file in {other}?",
                     {{"other", codePageName(*p.other)}});
    return text;
}

std::string failure(const app::RecordFailure& f, Language lang) {
    const std::string reason = describe(f.problem, lang);
    if (lang == Language::Chinese)
        return "第 " + std::to_string(f.number) + " 条记录（输入第 " + std::to_string(f.line) + " 行）：" + reason;
    return "record " + std::to_string(f.number) + " (input line " + std::to_string(f.line) + "): " + reason;
}

std::string failureLogLine(const app::RecordFailure& f, Language lang) {
    const std::string reason = describe(f.problem, lang);
    if (lang == Language::Chinese)
        return "第 " + std::to_string(f.number) + " 条记录，输入第 " + std::to_string(f.line) + " 行，第 " +
               std::to_string(f.offset) + " 字节" + (f.identifier.empty() ? "" : "，001 为 " + f.identifier) + "：" +
               reason;
    return "record " + std::to_string(f.number) + ", input line " + std::to_string(f.line) + ", byte " +
           std::to_string(f.offset) + (f.identifier.empty() ? "" : ", 001 " + f.identifier) + ": " + reason;
}

std::string summary(const app::BatchResult& r, Language lang) {
    const bool chinese = lang == Language::Chinese;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
    std::string text =
        chinese ? "读取 " + std::to_string(r.read) + " 条记录，写入 " + std::to_string(r.written) + " 条，失败 " +
                      std::to_string(r.failed) + " 条"
                : std::to_string(r.read) + " records read, " + std::to_string(r.written) + " written, " +
                      std::to_string(r.failed) + " failed";
    if (r.skipped > 0)
        text += chinese ? "，跳过 " + std::to_string(r.skipped) + " 条" : ", " + std::to_string(r.skipped) + " skipped";
    text += chinese ? std::string("，用时 ") + seconds + " 秒" : std::string(", ") + seconds + " s";
    if (!r.asciiOnly || !r.encodingDetected) {
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
                            : " (" + std::to_string(r.rejectsKept) + " of the failed records kept in " + r.rejectsPath +
                                  "; the others could not be kept" + log + ")";
        else
            text += chinese ? "（失败的记录未能保存" + log + "）" : " (the failed records could not be kept" + log + ")";
    }
    return text;
}

std::string stoppedByFault(const app::BatchResult& r, Language lang) {
    const std::string why = r.stopProblem ? describe(*r.stopProblem, lang) : std::string();
    if (lang == Language::Chinese) return "处理中断：" + why + "；已写入 " + std::to_string(r.written) + " 条记录";
    return "stopped: " + why + "; " + std::to_string(r.written) + (r.written == 1 ? " record" : " records") +
           " written";
}

std::string stoppedByUser(const app::BatchResult& r, Language lang, bool skipHint) {
    const std::string written = std::to_string(r.written), next = std::to_string(r.nextRecord),
                      offset = std::to_string(r.nextOffset), skip = std::to_string(r.nextRecord - 1);
    if (lang == Language::Chinese)
        return "已停止处理：已写入 " + written + " 条记录；下一条是第 " + next + " 条记录，位于输入文件第 " + offset +
               " 字节" + (skipHint ? "（继续处理请加上 --skip " + skip + " 再运行）" : "");
    return "stopped: " + written + " records written; the next is record " + next + " at input byte " + offset +
           (skipHint ? " (to go on, run again with --skip " + skip + ")" : "");
}

std::string repeatedRun(const app::BatchResult& r, Language lang, bool skipHint) {
    const std::string n = std::to_string(r.repeatsOutputEnd);
    if (lang == Language::Chinese)
        return "注意：第 " + n + " 条记录与输出文件原来的最后一条记录完全相同，输出文件可能已含有本输入的前 " + n +
               " 条记录" + (skipHint ? "（如要避免重复，请用 --skip " + n + "）" : "");
    return "note: record " + n + " came out exactly as the output's last record stood before this run: the output "
           "may already hold this input's records up to " + n +
           (skipHint ? " (to go on without duplicates, use --skip " + n + ")" : "");
}

std::string checkSummary(const app::CheckResult& r, Language lang) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", r.seconds);
    const auto n = [](std::int64_t v) { return std::to_string(v); };
    std::string text =
        lang == Language::Chinese
            ? "读取 " + n(r.read) + " 条记录，核对 " + n(r.checked) + " 个字段，不一致 " + n(r.differing) +
                  " 个，失败 " + n(r.failed) + " 条，用时 " + seconds + " 秒"
            : n(r.read) + " records read, " + n(r.checked) + " fields checked, " + n(r.differing) +
                  " disagree, " + n(r.failed) + " failed, " + seconds + " s";
    if (r.stopProblem)
        text += (lang == Language::Chinese ? "；核对中断：" : "; stopped: ") + describe(*r.stopProblem, lang);
    return text;
}

}  // namespace messages
