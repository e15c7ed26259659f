// Splitting a list of readings: Py1 as py.db stores it, or a chooser's list of readings.
#pragma once

#include <string_view>
#include <vector>

namespace pinyin {

/// The readings in `py`: the pieces between spaces (' ' only, as py.db writes them), empty
/// ones left out, in order. Every part of the program that offers or counts readings splits
/// them so, and ChooserRequest::suggested counts in them.
inline std::vector<std::string_view> splitReadings(std::string_view py) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < py.size();) {
        const std::size_t end = std::min(py.find(' ', at), py.size());
        if (end > at) out.push_back(py.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

/// splitReadings(py)[k] without the vector, or "" when there are no more than k readings.
inline std::string_view readingAt(std::string_view py, std::size_t k) {
    for (std::size_t at = 0; at < py.size();) {
        const std::size_t end = std::min(py.find(' ', at), py.size());
        if (end > at && k-- == 0) return py.substr(at, end - at);
        at = end + 1;
    }
    return {};
}

}  // namespace pinyin
