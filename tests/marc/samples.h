// Working records and helpers shared by the exchange record tests.
#pragma once

#include <string>
#include <vector>

#include "marc/databar.h"
#include "marc/writer.h"

namespace marc_samples {

/// A fixed clock for the writer's generated 001 and 005.
inline marc::LocalTime endOf2099() { return {2099, 12, 31, 23, 59, 59}; }

inline const std::string kBar(marc::kDataBar);

/// Lines of working records (without line breaks). Each starts with 001 and 005 and holds its
/// pinyin where the writer puts it, so what is written reads back line for line.
inline const std::vector<std::vector<std::string>> kRecords = {
    {"001    A0001", "005    20240102030405.0", "101 0  |achi", "200 1  |a书名|Ashu ming|e副题",
     "210    |a北京|d2024", "701  0 |a张三|Azhang san"},
    {"001    CAL 012001012345", "005    20011231120000.0", "003    http://example.org/rec/1",
     "010    |a7-5600-1234-5|dCNY25.00", "100    |a20011231d2001    em y0chiy0121    ea", "101 0  |achi",
     "200 1  |a长城|9chang cheng|a重庆|9chong qing|f王五 著", "210    |a上海|c上海人民出版社|d2001",
     "215    |a312页|c图|d21cm", "225 2  |a音乐丛书|Ayin yue cong shu", "606 0  |a行政管理|x研究",
     "690    |aD63|v4", "701  0 |a曾|Azeng|4著", "801  0 |aCN|b北京图书馆|c20011231"},
    {"001    2", "005    19961119000000.0",
     "100    |a19961119d1996    " + kBar + kBar + kBar + kBar + "0itac50", "007    ta",
     "200 1  |aThe title : a subtitle|b[text]|fby A. Writer ; ed. by B. Editor",
     "300    |aNote with a bar " + kBar + " inside", "500 10 |a乐府诗集|Ayue fu shi ji",
     "517 1  |a亅|Ajue"},  // 亅 is GBK 81 7C: its trail byte is "|"
};

/// The working text as the batch run hands it over: every line ended by CR LF, one more CR LF.
inline std::string workingText(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\r\n";
    return s + "\r\n";
}

inline std::string readerText(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += (s.empty() ? "" : "\r\n") + l;
    return s;
}

}  // namespace marc_samples
