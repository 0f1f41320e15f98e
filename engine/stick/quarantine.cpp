#include "quarantine.h"

#include <vector>

#include "sha256.h"

namespace dva::stick {
namespace {

constexpr std::size_t kChunk = 64u << 10;
constexpr std::uint32_t kErrorCrc = 23;        // the copy read back is not what was written
constexpr std::uint32_t kErrorHandleEof = 38;  // the file ended before its size, or ran past it

// Closes the port's file when the move ends, whichever way.
class OpenFile {
public:
    OpenFile(StickPort& port, PortFile file) : port_(port), file_(file) {}
    ~OpenFile() { port_.close(file_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

private:
    StickPort& port_;
    PortFile file_;
};

void appendUtf8(std::string& out, std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00);
            }
        }
        if (c < 0x20 || c == 0x7F || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
}

// The number in that base (10 or 16, capital letters), with zeros in front to at least `width`
// digits. (Written out here: the C library's formatting would bring its whole printf machinery
// into the program for three numbers.)
void appendDigits(std::string& out, std::uint64_t value, unsigned base, std::size_t width) {
    char digits[24];
    std::size_t n = 0;
    do {
        digits[n++] = "0123456789ABCDEF"[value % base];
        value /= base;
    } while (value != 0);
    for (; n < width; --width) out += '0';
    while (n > 0) out += digits[--n];
}

// Reads the whole file from where it stands, hashing it; each chunk also goes to `copy` when
// given. Returns the failing step's result, or success with the byte count in `total`.
OpResult readAll(StickPort& port, PortFile from, std::vector<std::byte>& buffer, Sha256& hash, PortFile copy,
                 std::uint64_t& total, MoveStep& failed) {
    total = 0;
    while (true) {
        std::size_t got = 0;
        if (const OpResult read = port.read(from, buffer, got); !read.ok()) return read;
        if (got == 0) return {};
        const std::span<const std::byte> chunk(buffer.data(), got);
        hash.update(chunk);
        total += got;
        if (copy) {
            if (const OpResult written = port.write(copy, chunk); !written.ok()) {
                failed = MoveStep::Write;
                return written;
            }
        }
    }
}

}  // namespace

std::string utcText(std::uint64_t fileTime) {
    // Days since 1601-01-01 to a civil date (the proleptic Gregorian calendar's 400-year cycle).
    const std::uint64_t seconds = fileTime / 10'000'000;
    std::uint64_t days = seconds / 86400;
    const std::uint64_t rest = seconds % 86400;
    std::uint64_t year = 1601 + 400 * (days / 146097);
    days %= 146097;
    const auto leap = [](std::uint64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    while (days >= (leap(year) ? 366u : 365u)) days -= leap(year++) ? 366 : 365;
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned month = 0;
    for (;; ++month) {
        const unsigned length = kMonthDays[month] + (month == 1 && leap(year) ? 1u : 0u);
        if (days < length) break;
        days -= length;
    }
    std::string text;
    appendDigits(text, year, 10, 4);
    text += '-';
    appendDigits(text, month + 1, 10, 2);
    text += '-';
    appendDigits(text, days + 1, 10, 2);
    text += 'T';
    appendDigits(text, rest / 3600, 10, 2);
    text += ':';
    appendDigits(text, rest / 60 % 60, 10, 2);
    text += ':';
    appendDigits(text, rest % 60, 10, 2);
    return text + 'Z';
}

std::string indexLine(std::uint64_t now, std::wstring_view path, const VolumeIdentity& volume, const FileFacts& facts,
                      std::wstring_view hash) {
    std::string line = utcText(now) + '\t';
    appendUtf8(line, path);
    line += '\t';
    appendDigits(line, volume.serial >> 16, 16, 4);
    line += '-';
    appendDigits(line, volume.serial & 0xFFFF, 16, 4);
    line += '\t';
    appendUtf8(line, volume.label);
    line += '\t';
    appendDigits(line, facts.size, 10, 1);
    line += '\t';
    appendDigits(line, facts.attributes, 16, 8);
    line += '\t';
    line += utcText(facts.created) + '\t' + utcText(facts.accessed) + '\t' + utcText(facts.written) + '\t';
    appendUtf8(line, hash);
    return line + "\r\n";
}

MoveResult moveToQuarantine(StickPort& port, std::wstring_view path, const VolumeIdentity& volume, const FileFacts* expected) {
    MoveResult result;
    const auto failed = [&result](MoveStep step, OpResult error) {
        result.step = step;
        result.error = error;
        return result;
    };

    PortFile original;
    if (const OpResult opened = port.openExact(path, original, result.facts); !opened.ok()) return failed(MoveStep::Open, opened);
    const OpenFile originalOpen(port, original);
    const std::uint64_t size = result.facts.size;
    if (expected != nullptr && (expected->fileId != result.facts.fileId || expected->size != size ||
                                expected->written != result.facts.written)) {
        result.outcome = MoveOutcome::Changed;
        return result;
    }
    if (size > kQuarantineFileLimit) {
        result.outcome = MoveOutcome::TooLarge;
        return result;
    }
    std::uint64_t used = 0, freeOnDrive = 0;
    if (const OpResult space = port.quarantineSpace(used, freeOnDrive); !space.ok()) return failed(MoveStep::Space, space);
    if (used + size > kQuarantineTotalLimit) {
        result.outcome = MoveOutcome::QuarantineFull;
        return result;
    }
    if (freeOnDrive < size + kQuarantineFreeReserve) {
        result.outcome = MoveOutcome::DiskLow;
        return result;
    }

    PortFile temporary;
    if (const OpResult made = port.createTemporary(temporary); !made.ok()) return failed(MoveStep::CreateTemporary, made);
    const auto dropped = [&](MoveStep step, OpResult error) {
        port.discard(temporary);
        return failed(step, error);
    };

    // The copy, hashed on the way; then the copy as the disk holds it, hashed again.
    std::vector<std::byte> buffer(kChunk);
    Sha256 originalHash;
    std::uint64_t copied = 0;
    MoveStep step = MoveStep::Read;
    if (const OpResult copy = readAll(port, original, buffer, originalHash, temporary, copied, step); !copy.ok()) return dropped(step, copy);
    if (copied != size) return dropped(MoveStep::Read, {kErrorHandleEof});
    const Sha256::Digest digest = originalHash.finish();
    if (const OpResult flushed = port.flush(temporary); !flushed.ok()) return dropped(MoveStep::Flush, flushed);
    if (const OpResult rewound = port.rewind(temporary); !rewound.ok()) return dropped(MoveStep::Verify, rewound);
    Sha256 copyHash;
    std::uint64_t reread = 0;
    if (const OpResult check = readAll(port, temporary, buffer, copyHash, {}, reread, step); !check.ok()) return dropped(MoveStep::Verify, check);
    if (reread != size || copyHash.finish() != digest) return dropped(MoveStep::Verify, {kErrorCrc});

    // Named by its content, without an extension: nothing there can be started by a double click.
    // A file already kept under that name holds the same bytes: this copy goes.
    result.hash = Sha256::hex(digest);
    const OpResult renamed = port.rename(temporary, result.hash);
    const bool fresh = renamed.ok();
    if (!fresh && renamed.error != kErrorAlreadyExists) return dropped(MoveStep::Rename, renamed);
    if (!fresh) port.discard(temporary);

    const std::string line = indexLine(port.utcNow(), path, volume, result.facts, result.hash);
    if (const OpResult indexed = port.appendIndexLine(line); !indexed.ok()) {
        // A copy no line records could not be found again: the one this move made goes with it.
        if (fresh) port.discard(temporary);
        return failed(MoveStep::Index, indexed);
    }
    if (fresh) port.close(temporary);
    // From here the quarantine holds the file and its line: a failed delete leaves the original
    // too, and a later attempt finds its copy already kept.
    if (const OpResult deleted = port.deleteOpened(original); !deleted.ok()) return failed(MoveStep::Delete, deleted);
    result.outcome = MoveOutcome::Moved;
    return result;
}

}  // namespace dva::stick
