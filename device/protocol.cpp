#include "device/protocol.h"

namespace protocol {

namespace {

struct Rule
{
    std::uint8_t bytes[4];
    std::uint8_t significant; // how many leading bytes decide
    Report report;
};

// Leading bytes of every report the receiver sends. Bytes after the
// significant ones are not looked at.
constexpr Rule kRules[] = {
    { { 0x12, 0x34, 0xAB, 0xCD }, 4, Report::ModeLaser },
    { { 0x12, 0x34, 0xA1, 0xB1 }, 4, Report::ModeMagnifier },
    { { 0x12, 0x34, 0xA2, 0xB2 }, 4, Report::ModeSpotlight },
    { { 0x12, 0x34, 0xA0, 0xB0 }, 4, Report::ModeNormal },
    { { 0x12, 0x34, 0xA0, 0xB1 }, 4, Report::NoticeNormal },
    { { 0x12, 0x34, 0xA1, 0xB2 }, 4, Report::NoticeMagnifier },
    { { 0x12, 0x34, 0xA2, 0xB3 }, 4, Report::NoticeSpotlight },
    { { 0x12, 0x34, 0xAA, 0xCC }, 4, Report::NoticeLaser },
    { { 0x88, 0x99, 0, 0 }, 2, Report::KeyOk },
    { { 0x66, 0x66, 0, 0 }, 2, Report::ResetOk },
    { { kBlock1Marker, 0, 0, 0 }, 1, Report::Block1 },
    { { kBlock2Marker, 0, 0, 0 }, 1, Report::Block2 },
};

std::uint8_t byteAt(const std::uint8_t *report, std::size_t length, std::size_t index)
{
    return index < length ? report[index] : 0;
}

OutputReport command(std::uint8_t code)
{
    OutputReport report {};
    report[1] = code;
    report[2] = code;
    return report;
}

} // namespace

Report classify(const std::uint8_t *report, std::size_t length)
{
    for (const Rule &rule : kRules) {
        bool match = true;
        for (std::size_t i = 0; i < rule.significant && match; ++i)
            match = byteAt(report, length, i) == rule.bytes[i];
        if (match)
            return rule.report;
    }
    return Report::Unknown;
}

int sizeLevel(const std::uint8_t *report, std::size_t length)
{
    return byteAt(report, length, kSizeByte);
}

OutputReport readBackRequest()
{
    return command(0x70);
}

OutputReport resetCommand()
{
    return command(0x60);
}

std::uint8_t blockChecksum(const std::uint8_t *block)
{
    unsigned sum = 0;
    for (std::size_t i = 0; i < kChecksumOffset; ++i)
        sum += block[i];
    return static_cast<std::uint8_t>(sum & 0xFF);
}

void storeChecksums(Image &image)
{
    for (std::size_t block = 0; block < kImageSize; block += kBlockSize)
        image[block + kChecksumOffset] = blockChecksum(image.data() + block);
}

ReportPair mappingWrite(const Image &image)
{
    ReportPair pair {};
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        pair[1 + i] = image[i];
        pair[kOutputReportSize + 1 + i] = image[kBlockSize + i];
    }
    return pair;
}

Image blankImage()
{
    Image image {};
    image[0] = kBlock1Marker;
    image[kBlockSize] = kBlock2Marker;
    return image;
}

int slotBlockOffset(int slot)
{
    const int j = slot % 24;
    return 3 + j + j / 8;
}

int slotImageIndex(int slot)
{
    return slotBlockOffset(slot) + (slot < 24 ? 0 : static_cast<int>(kBlockSize));
}

} // namespace protocol
