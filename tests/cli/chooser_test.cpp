// The terminal chooser: what it shows and how it reads the answers.
#include "tty_chooser.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/files.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Terminal {
    explicit Terminal(const std::string& typed)
        : typedText(typed),
          in(fmemopen(typedText.data(), typedText.size(), "r")),
          out(open_memstream(&shown, &size)) {}
    ~Terminal() {
        std::fclose(in);
        std::fclose(out);
        std::free(shown);
    }
    std::string screen() {
        std::fflush(out);
        return std::string(shown, size);
    }
    std::string typedText;
    std::FILE* in;
    char* shown = nullptr;
    std::size_t size = 0;
    std::FILE* out;
};

pinyin::ChooserRequest request(int suggested) {
    pinyin::ChooserRequest r;
    r.text = "𠀀银行长";
    r.position = 4;  // UTF-16 units: 𠀀 takes two
    r.character = "行";
    r.readings = "Xing  Hang Heng";
    r.suggested = suggested;
    return r;
}

TEST(TtyChooser, ShowsTheTextWithTheCharacterMarkedAndNumberedReadings) {
    Terminal t("\n");
    int cleared = 0;
    cli::TtyChooser chooser(t.in, t.out);
    chooser.setBeforeAsking([&cleared] { ++cleared; });
    EXPECT_EQ(chooser.choose(request(1)), "Hang");  // Enter takes the suggested reading
    EXPECT_EQ(cleared, 1);
    std::string screen = t.screen();
    EXPECT_NE(screen.find("𠀀银[行]长"), std::string::npos) << screen;
    EXPECT_NE(screen.find("1) Xing  2) Hang *  3) Heng"), std::string::npos) << screen;
    EXPECT_NE(screen.find("行: reading [2]?"), std::string::npos) << screen;
}

TEST(TtyChooser, SaysWhichFieldAndSubfieldItAsksAbout) {
    for (const auto lang : {messages::Language::English, messages::Language::Chinese}) {
        Terminal t("\n");
        cli::TtyChooser chooser(t.in, t.out, false, lang);
        pinyin::ChooserRequest r = request(0);
        r.tag = "200";
        r.subfield = 'f';
        chooser.choose(r);
        const std::string screen = t.screen();
        EXPECT_NE(screen.find(lang == messages::Language::Chinese ? "200 字段 $f 子字段：𠀀银[行]长"
                                                                  : "field 200 $f: 𠀀银[行]长"),
                  std::string::npos)
            << screen;
    }
}

TEST(TtyChooser, ReadsANumberAndAsksAgainForAnythingElse) {
    Terminal t("abc\n0\n4\n 3 \n");
    cli::TtyChooser chooser(t.in, t.out);
    EXPECT_EQ(chooser.choose(request(0)), "Heng");
    std::string screen = t.screen();
    std::size_t again = 0;
    for (std::size_t at = 0; (at = screen.find("type a number from 1 to 3", at)) != std::string::npos; ++at)
        ++again;
    EXPECT_EQ(again, 3u) << screen;
    // The end of the input answers with the suggestion rather than blocking.
    Terminal closed("");
    cli::TtyChooser chooser2(closed.in, closed.out);
    EXPECT_EQ(chooser2.choose(request(2)), "Heng");
}

// With a word list to write to, "m" after the number (or alone, for the suggestion) remembers
// the reading with the word the phrase data found; without one, "m" is no answer.
TEST(TtyChooser, RemembersAnAnswerWithMInTheLocalesWords) {
    pinyin::ChooserRequest r = request(0);
    r.word = "银行";
    r.wordAt = 3;
    r.textReadings = {"", "Yin", "Xing", "Chang"};  // what each code point takes without asking
    std::vector<pinyin::WordEntry> kept;
    {
        Terminal t("x\n2 m\n");
        cli::TtyChooser chooser(t.in, t.out, false, messages::Language::Chinese);
        chooser.setRemember([&](const pinyin::WordEntry& e) { kept.push_back(e); });
        EXPECT_EQ(chooser.choose(r), "Hang");
        const std::string screen = t.screen();
        EXPECT_NE(screen.find("行：读音 [1]？（编号后加 m：记入词表，以后不再询问）"), std::string::npos)
            << screen;
        EXPECT_NE(screen.find("请输入 1 到 3 的编号，或直接回车取 1"), std::string::npos) << screen;
        EXPECT_NE(screen.find("已记入词表：银行\tyin hang"), std::string::npos) << screen;
    }
    {
        Terminal t("m\n");
        cli::TtyChooser chooser(t.in, t.out);
        chooser.setRemember([&](const pinyin::WordEntry& e) { kept.push_back(e); });
        EXPECT_EQ(chooser.choose(r), "Xing");
    }
    {
        // A character no known word holds is not remembered alone, and the screen says so.
        pinyin::ChooserRequest single = r;
        single.word.clear();
        Terminal t("2 m\n");
        cli::TtyChooser chooser(t.in, t.out, false, messages::Language::Chinese);
        chooser.setRemember([&](const pinyin::WordEntry& e) { kept.push_back(e); });
        EXPECT_EQ(chooser.choose(single), "Hang");
        EXPECT_NE(t.screen().find("未记入词表：只记两个字以上的词"), std::string::npos) << t.screen();
    }
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].word, "银行");
    EXPECT_EQ(kept[0].syllables, "yin hang");
    EXPECT_EQ(kept[1].syllables, "yin xing");
    Terminal t("2m\n3\n");
    cli::TtyChooser plain(t.in, t.out);
    EXPECT_EQ(plain.choose(r), "Heng");
    EXPECT_EQ(t.screen().find("remember"), std::string::npos);
}

TEST(TtyChooser, MarkCharacterCountsUtf16Units) {
    EXPECT_EQ(cli::markCharacter("银行", 1), "[银]行");
    EXPECT_EQ(cli::markCharacter("a𠀀b", 4), "a𠀀[b]");
    EXPECT_EQ(cli::markCharacter("ab", 9), "ab");
}

}  // namespace

namespace {

// Ctrl-C while a question waits for its answer ends the wait: no answer, and the run stops there.
TEST(TtyChooser, AStopEndsTheWaitForAnAnswer) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);  // a terminal nobody types on
    std::FILE* in = ::fdopen(fds[0], "r");
    char* shown = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&shown, &size);
    {
        cli::TtyChooser chooser(in, out);
        app::stopRequested = [] { return true; };
        EXPECT_EQ(chooser.choose(request(0)), std::nullopt);
        app::stopRequested = nullptr;
    }
    std::fclose(in);
    ::close(fds[1]);
    std::fclose(out);
    std::free(shown);
}

}  // namespace
