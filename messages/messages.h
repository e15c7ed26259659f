// What the programs say to the user, in English or Chinese: every problem the core names, and the
// lines a run ends with. One table of texts for both front ends; Qt-free, so the command line
// shares it with the window.
#pragma once

#include <string>
#include <vector>

#include "app/batch.h"
#include "app/check.h"
#include "app/review.h"
#include "problem/problem.h"

namespace messages {

enum class Language { English, Chinese };

/// The language of the command line, the Linux way: Chinese when the first of LC_ALL,
/// LC_MESSAGES and LANG that is set and not empty starts with "zh", English otherwise. The
/// locale need not be installed on the machine.
Language fromEnvironment();

/// An operating-system error (errno) in words: strerror's in English, one of ours in Chinese.
std::string osError(int err, Language lang);

/// "GBK", "GB18030", "UTF-8".
std::string codePageName(codepage::Encoding e);

/// One problem in a sentence, without saying which record it concerns.
std::string describe(const problem::Problem& p, Language lang);

/// A failed record: "record 6 (input line 6): field 200: ..." / "第 6 条记录（输入第 6 行）：字段 200：…".
std::string failure(const app::RecordFailure& f, Language lang);

/// The line of the failure log for a failed record: its number, input line, byte offset, 001
/// and the reason.
std::string failureLogLine(const app::RecordFailure& f, Language lang);

/// The one-line summary of a run: counts, time, code page, where failed records are kept.
std::string summary(const app::BatchResult& r, Language lang);

/// A run stopped by a fault: why, how many records were written, and where a later run goes on
/// (with `skipHint`, the command line's --skip).
std::string stoppedByFault(const app::BatchResult& r, Language lang, bool skipHint = false);

/// A run stopped by the user: how many records were written, and where a later run goes on
/// (with `skipHint`, the command line's --skip).
std::string stoppedByUser(const app::BatchResult& r, Language lang, bool skipHint);

/// A run that did nothing it was asked (app::didNothing): no record written (all skipped by
/// --skip, or all failed), or no field got pinyin (none listed in `tagList`, or none with a
/// subfield a).
std::string nothingDone(const app::BatchResult& r, const std::string& tagList, Language lang);

/// The note that the word list holds single characters of several readings (`lone`), each of
/// which overrides the character's reading in every word that holds it.
std::string lonePolyphonic(const std::vector<std::string>& lone, Language lang);

/// The partial record cut off the output's end by --repair-tail, and where it was saved.
std::string tailRepaired(const app::BatchResult& r, const std::string& outputPath, Language lang);

/// A run that wrote a record exactly as the output already ended: it may repeat an earlier run.
std::string repeatedRun(const app::BatchResult& r, Language lang, bool skipHint);

/// The one-line summary of a check of existing pinyin: fields checked and fields that disagree,
/// and why it stopped when it did.
std::string checkSummary(const app::CheckResult& r, Language lang);

/// The one-line summary of a gathering of unsure readings: records read, readings and groups,
/// the review file, and why it stopped when it did.
std::string reviewSummary(const app::ReviewGathering& g, const std::string& path, Language lang);

}  // namespace messages
