// The texts of the movie information table: the 18 rows of labels and values shown for a summary, with sizes
// in bytes, kilobytes or megabytes and each category's share of the movie. The application translates the
// fixed words; the command-line tool prints them in English.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class CSWFInfo;

inline constexpr int kInfoRowCount = 18;
inline constexpr int kInfoRowBackground = 8;
inline constexpr int kInfoFirstShareRow = 10;

// The labels, in row order (English, the translation key).
extern const std::array<const char*, kInfoRowCount> kInfoLabels;

struct InfoWords {
    std::string byte = "byte";
    std::string kilobyte = "kilobyte";
    std::string megabyte = "megabyte";
    std::string yes = "Yes";
    std::string no = "No";
    std::string notAvailable = "N/A";
};

// "512 byte", "0.98 kilobyte", "1.00 megabyte": decimal limits, binary divisors.
std::string SizeText(int32_t size, const InfoWords& words = {});
// "1.50 kilobyte (12.34 %)": the size text and the share of the whole movie.
std::string ShareText(uint32_t size, uint32_t total, const InfoWords& words = {});
// The size of the category shown in a share row (10 to 17).
uint32_t ShareRowSize(const CSWFInfo& info, int row);

struct InfoRow {
    std::string label;
    std::string value; // the background row holds "#RRGGBB", or "none" without a colour
    bool dimmed = false;
};

// One row as the table shows it; `movieName` fills row 0.
InfoRow InfoRowText(const CSWFInfo& info, int row, const std::string& movieName, const InfoWords& words = {});
