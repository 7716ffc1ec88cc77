// The receiver's reports, byte for byte. Everything here is a pure function
// over constant tables, so the device link, the editor and the tests share
// one description of the protocol.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace protocol {

constexpr std::uint16_t kVendorId = 0x26E3;
constexpr std::uint16_t kProductId = 0xAF01;
constexpr int kInterfaceNumber = 3;

constexpr std::size_t kInputReportSize = 32;
constexpr std::size_t kOutputReportSize = 33; // report number 0x00, then 32 payload bytes
constexpr std::size_t kBlockSize = 32;
constexpr std::size_t kImageSize = 2 * kBlockSize;
constexpr int kSlotCount = 48;

constexpr std::uint8_t kBlock1Marker = 0x55;
constexpr std::uint8_t kBlock2Marker = 0x56;
constexpr std::size_t kChecksumOffset = 31;
constexpr std::size_t kSizeByte = 5; // the size level in a mode report

using OutputReport = std::array<std::uint8_t, kOutputReportSize>;
using ReportPair = std::array<std::uint8_t, 2 * kOutputReportSize>;
using Image = std::array<std::uint8_t, kImageSize>;

// What an input report means, decided by its leading bytes.
enum class Report {
    Unknown,
    ModeLaser, // 12 34 AB CD, size in byte 5
    ModeMagnifier, // 12 34 A1 B1, size in byte 5
    ModeSpotlight, // 12 34 A2 B2, size in byte 5
    ModeNormal, // 12 34 A0 B0
    NoticeNormal, // 12 34 A0 B1
    NoticeMagnifier, // 12 34 A1 B2
    NoticeSpotlight, // 12 34 A2 B3
    NoticeLaser, // 12 34 AA CC
    KeyOk, // 88 99: mapping written
    ResetOk, // 66 66: defaults restored
    Block1, // 55: mapping block 1
    Block2, // 56: mapping block 2
};

// The pen's presentation modes, numbered as the program has always numbered them.
enum class Mode { Normal = 0, Magnifier = 1, Spotlight = 2, Laser = 3 };

// Which report puts the pen in which mode. Of the pen's mode reports only the
// newest counts, since the pen is in one mode at a time.
struct ModeReport
{
    Report report;
    Mode mode;
};

constexpr ModeReport kModeReports[] = {
    { Report::ModeLaser, Mode::Laser },
    { Report::ModeMagnifier, Mode::Magnifier },
    { Report::ModeSpotlight, Mode::Spotlight },
    { Report::ModeNormal, Mode::Normal },
};

// The row of a mode report, or null for any other report.
constexpr const ModeReport *modeReport(Report report)
{
    for (const ModeReport &row : kModeReports)
        if (row.report == report)
            return &row;
    return nullptr;
}

constexpr bool isModeReport(Report report)
{
    return modeReport(report) != nullptr;
}

namespace detail {
constexpr bool eachModeOnce()
{
    for (const ModeReport &a : kModeReports)
        for (const ModeReport &b : kModeReports)
            if (&a != &b && (a.report == b.report || a.mode == b.mode))
                return false;
    return true;
}
} // namespace detail

static_assert(sizeof kModeReports / sizeof kModeReports[0] == 4, "four modes, one report each");
static_assert(detail::eachModeOnce(), "a report or a mode listed twice");

// Classifies a report of `length` delivered bytes; bytes past the delivered
// count read as zero, as they do in the zeroed read buffer.
Report classify(const std::uint8_t *report, std::size_t length);

// The size argument of a mode report: byte 5, unsigned.
int sizeLevel(const std::uint8_t *report, std::size_t length);

// Commands. Byte 0 of every output report is the report number 0x00.
OutputReport readBackRequest();
OutputReport resetCommand();

// (Sum of block bytes 0 to 30) modulo 256.
std::uint8_t blockChecksum(const std::uint8_t *block);

// Stores each block's checksum at its offset 31 in the image itself.
void storeChecksums(Image &image);

// The two output reports of a mapping write, from an image whose checksums
// are already stored.
ReportPair mappingWrite(const Image &image);

// A blank image: all zero but for the two block markers.
Image blankImage();

// Mapping slots 0..47: the action bytes of the six keys, eight per key
// (click columns 1-4, then long-press columns 1-4).
int slotBlockOffset(int slot); // offset within its block
int slotImageIndex(int slot); // index within the 64-byte image

} // namespace protocol
