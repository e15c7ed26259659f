// The terminal chooser: what it shows and how it reads the answers.
#include "tty_chooser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Terminal {
    explicit Terminal(const std::string& typed)
        : typedText(typed), in(fmemopen(typedText.data(), typedText.size(), "r")), out(open_memstream(&shown, &size)) {}
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
    r.allHz = "𠀀银行长";
    r.dyStr = 4;  // UTF-16 units: 𠀀 takes two
    r.hz = "行";
    r.pystr = "Xing  Hang Heng";
    r.suggested = suggested;
    return r;
}

TEST(TtyChooser, ShowsTheTextWithTheCharacterMarkedAndNumberedReadings) {
    Terminal t("\n");
    int cleared = 0;
    cli::TtyChooser chooser(t.in, t.out);
    chooser.setBeforeAsking([](void* n) { ++*static_cast<int*>(n); }, &cleared);
    EXPECT_EQ(chooser.choose(request(1)), "Hang");  // Enter takes the suggested reading
    EXPECT_EQ(cleared, 1);
    std::string screen = t.screen();
    EXPECT_NE(screen.find("𠀀银[行]长"), std::string::npos) << screen;
    EXPECT_NE(screen.find("1) Xing  2) Hang *  3) Heng"), std::string::npos) << screen;
    EXPECT_NE(screen.find("行: reading [2]?"), std::string::npos) << screen;
}

TEST(TtyChooser, ReadsANumberAndAsksAgainForAnythingElse) {
    Terminal t("abc\n0\n4\n 3 \n");
    cli::TtyChooser chooser(t.in, t.out);
    EXPECT_EQ(chooser.choose(request(0)), "Heng");
    std::string screen = t.screen();
    std::size_t again = 0;
    for (std::size_t at = 0; (at = screen.find("type a number from 1 to 3", at)) != std::string::npos; ++at) ++again;
    EXPECT_EQ(again, 3u) << screen;
    // The end of the input answers with the suggestion rather than blocking.
    Terminal closed("");
    cli::TtyChooser chooser2(closed.in, closed.out);
    EXPECT_EQ(chooser2.choose(request(2)), "Heng");
}

TEST(TtyChooser, MarkCharacterCountsUtf16Units) {
    EXPECT_EQ(cli::markCharacter("银行", 1), "[银]行");
    EXPECT_EQ(cli::markCharacter("a𠀀b", 4), "a𠀀[b]");
    EXPECT_EQ(cli::markCharacter("ab", 9), "ab");
}

}  // namespace
