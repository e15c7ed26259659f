// Every problem the core names, worded in both languages: English without Chinese, Chinese
// without an English sentence, each with the values of its place.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "messages/messages.h"
#include "support/files.h"
#include "support/text.h"

using messages::Language;
using problem::Kind;

namespace {

problem::Problem sample(Kind kind) {
    problem::Problem p;
    p.kind = kind;
    p.path = "/data/in.iso";
    p.tag = "200";
    p.entry = 3;
    p.value = 1234;
    p.osError = ENOSPC;
    p.encoding = codepage::Encoding::Gbk;
    p.other = codepage::Encoding::Utf8;
    p.detail = "file is not a database";
    // A bad reading's place and character, in code points: the same words in both languages.
    if (kind == Kind::DbBadReading) p.detail = "hz U+56FD, Py1 U+007C \"|\"";
    // A usage error's detail is what the user typed (or, for one we do not foresee, the parser's
    // own words): a value, not a sentence.
    if (kind >= Kind::UsageUnknownOption && kind <= Kind::UsageOther) p.detail = "2OO";
    return p;
}

TEST(Messages, EveryKindInBothLanguages) {
    for (int k = 0; k <= static_cast<int>(Kind::Unexpected); ++k) {
        const problem::Problem p = sample(static_cast<Kind>(k));
        const std::string english = messages::describe(p, Language::English);
        const std::string chinese = messages::describe(p, Language::Chinese);
        SCOPED_TRACE("kind " + std::to_string(k) + ": " + english);
        EXPECT_FALSE(english.empty());
        EXPECT_FALSE(testtext::holdsNonAscii(english)) << english;
        EXPECT_TRUE(testtext::holdsNonAscii(chinese)) << chinese;
        EXPECT_FALSE(testtext::holdsEnglishSentence(chinese)) << chinese;
        EXPECT_EQ(english.find('{'), std::string::npos) << "a value left unfilled";
        EXPECT_EQ(chinese.find('{'), std::string::npos) << "a value left unfilled";
    }
}

// texts.tsv holds a line for each kind, in the order of the enum: the build counts the lines,
// this checks their names.
TEST(Messages, TheTextsFileNamesEveryKindInOrder) {
    std::istringstream header(testfiles::slurp(MARCPY_SOURCE_DIR "/src/problem/problem.h"));
    std::istringstream texts(testfiles::slurp(MARCPY_SOURCE_DIR "/messages/texts.tsv"));
    std::vector<std::string> kinds, named;
    std::string line;
    while (std::getline(header, line) && line.find("enum class Kind {") == std::string::npos) {
    }
    while (std::getline(header, line) && line.find("};") == std::string::npos)
        if (line.find(',') != std::string::npos && line.find("    //") != 0)
            kinds.push_back(line.substr(4, line.find(',') - 4));
    while (std::getline(texts, line))
        if (!line.empty() && line[0] != '#') named.push_back(line.substr(0, line.find('\t')));
    ASSERT_EQ(kinds.size(), static_cast<std::size_t>(Kind::Unexpected) + 1);
    EXPECT_EQ(named, kinds);
}

// The window shows the Chinese advice wrapped: it says what to do in a cataloguer's words, and
// holds no command whose hyphen a line could break at (a hyphen before a digit does not break).
TEST(Messages, Marc8AdviceACataloguerCanFollow) {
    for (Kind k : {Kind::Marc8, Kind::SingleByte}) {
        const std::string zh = messages::describe(sample(k), Language::Chinese);
        EXPECT_NE(zh.find("图书馆系统导出"), std::string::npos) << zh;
        for (std::size_t at = zh.find('-'); at != std::string::npos; at = zh.find('-', at + 1))
            EXPECT_TRUE(at + 1 < zh.size() && zh[at + 1] >= '0' && zh[at + 1] <= '9') << zh;
    }
    EXPECT_NE(messages::describe(sample(Kind::Marc8), Language::Chinese).find("MarcEdit"), std::string::npos);
    EXPECT_NE(messages::describe(sample(Kind::Marc8), Language::English).find("MarcEdit or yaz-marcdump"),
              std::string::npos);
}

TEST(Messages, ThePlaceAndTheOperatingSystemsWords) {
    EXPECT_EQ(messages::describe(sample(Kind::FieldPastEnd), Language::English),
              "field 200 (directory entry 3): it runs past the end of the record");
    EXPECT_EQ(messages::describe(sample(Kind::FieldPastEnd), Language::Chinese),
              "字段 200（目录第 3 项）：超出了记录的末尾");
    EXPECT_EQ(
        messages::describe(sample(Kind::InvalidBytes), Language::Chinese),
        "字段 200：输入文件第 1234 字节处的内容不是有效的 GBK 编码；它们像是 UTF-8 编码：文件是否为 UTF-8？");
    EXPECT_EQ(messages::describe(sample(Kind::OutputWriteFailed), Language::Chinese),
              "无法写入输出文件 /data/in.iso：磁盘已满");
    // The manual modes without a terminal, worded as the command line always has.
    EXPECT_EQ(
        messages::describe(sample(Kind::NoTerminal), Language::Chinese),
        "人工选择读音需要在终端上提问，但无法打开 /dev/tty：磁盘已满（请改用 --polyphone phrase 或 first）");
    EXPECT_EQ(messages::describe(sample(Kind::NoTerminal), Language::English),
              "--polyphone ask needs a terminal to ask on, and /dev/tty cannot be opened: " +
                  std::string(std::strerror(ENOSPC)) + " (use --polyphone phrase or first)");
    for (int err : {ENOENT, EACCES, EROFS, ENOSPC, EISDIR, ENOTDIR, EIO, ENAMETOOLONG, 12345}) {
        const std::string zh = messages::osError(err, Language::Chinese);
        EXPECT_TRUE(testtext::holdsNonAscii(zh)) << err;
        EXPECT_FALSE(testtext::holdsEnglishSentence(zh)) << zh;
    }
    EXPECT_EQ(messages::osError(EROFS, Language::Chinese), "文件系统是只读的");
    EXPECT_EQ(messages::osError(ENOENT, Language::English), "No such file or directory");
}

TEST(Messages, ARecordAndItsLogLine) {
    app::RecordFailure f;
    f.number = 6;
    f.line = 6;
    f.offset = 4096;
    f.identifier = "A0001";
    f.problem = sample(Kind::NothingToWrite);
    EXPECT_EQ(messages::failure(f, Language::English),
              "record 6 (input line 6): the record has no field to write besides 001 and 005");
    EXPECT_EQ(messages::failure(f, Language::Chinese),
              "第 6 条记录（输入第 6 行）：记录中除 001 和 005 外没有可写的字段");
    EXPECT_EQ(
        messages::failureLogLine(f, Language::English),
        "record 6, input line 6, byte 4096, 001 A0001: the record has no field to write besides 001 and 005");
    EXPECT_EQ(messages::failureLogLine(f, Language::Chinese),
              "第 6 条记录，输入第 6 行，第 4096 字节，001 为 A0001：记录中除 001 和 005 外没有可写的字段");
}

TEST(Messages, TheSummaryOfACheckAndWhyItStopped) {
    app::CheckResult r;
    r.read = r.checked = 3;
    r.differing = r.failed = 1;
    EXPECT_EQ(messages::checkSummary(r, Language::English),
              "3 records read, 3 fields checked, 1 disagree, 1 failed, 0.00 s");
    r.stopProblem = sample(Kind::OutputWriteFailed);
    const std::string zh = messages::checkSummary(r, Language::Chinese);
    EXPECT_EQ(
        zh,
        "读取 3 条记录，核对 3 个字段，不一致 1 个，失败 1 条，用时 0.00 秒；核对中断：无法写入输出文件 "
        "/data/in.iso：磁盘已满");
}

TEST(Messages, TheLanguageComesFromTheEnvironment) {
    const auto with = [](const char* all, const char* messagesVar, const char* lang) {
        for (auto [name, value] : {std::pair{"LC_ALL", all}, {"LC_MESSAGES", messagesVar}, {"LANG", lang}}) {
            if (value)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        return messages::fromEnvironment();
    };
    EXPECT_EQ(with(nullptr, nullptr, "zh_CN.UTF-8"), Language::Chinese);
    EXPECT_EQ(with(nullptr, nullptr, "C"), Language::English);
    EXPECT_EQ(with("", "zh_TW.UTF-8", "C"), Language::Chinese);  // an empty LC_ALL counts as unset
    EXPECT_EQ(with("C", "zh_CN.UTF-8", "zh_CN.UTF-8"), Language::English);
    EXPECT_EQ(with(nullptr, nullptr, nullptr), Language::English);
}

}  // namespace
