#include "restore.h"

#include <array>
#include <vector>

#include "failure_text.h"
#include "product_config.h"
#include "sha256.h"

namespace dva::stick {
namespace {

constexpr std::size_t kChunk = 64u << 10;
constexpr std::uint32_t kErrorFileExists = 80;
constexpr std::uint32_t kErrorCrc = 23;  // the kept file no longer hashes to its name

constexpr int hexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Strict UTF-8 (no overlong forms, no surrogates) to UTF-16 or UTF-32, whichever wchar_t holds.
std::optional<std::wstring> fromUtf8(std::string_view bytes) {
    std::wstring text;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next >> 6) != 2) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            text += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            text += static_cast<wchar_t>(c);
        }
        i += length;
    }
    return text;
}

std::optional<std::uint64_t> decimal(std::string_view digits) {
    if (digits.empty() || digits.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::optional<std::uint32_t> hex32(std::string_view digits) {
    if (digits.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        const int v = hexValue(static_cast<wchar_t>(c));
        if (v < 0) return std::nullopt;
        value = (value << 4) | static_cast<std::uint32_t>(v);
    }
    return value;
}

// The fields of one line: the time of the move, path, serial, label, size, attributes, the three
// times, the hash.
constexpr std::size_t kFields = 10;

std::optional<IndexRecord> recordOf(std::string_view line) {
    std::array<std::string_view, kFields> field;
    std::size_t count = 0;
    for (std::size_t at = 0;;) {
        const std::size_t tab = line.find('\t', at);
        if (count == kFields) return std::nullopt;
        field[count++] = line.substr(at, tab == std::string_view::npos ? std::string_view::npos : tab - at);
        if (tab == std::string_view::npos) break;
        at = tab + 1;
    }
    if (count != kFields) return std::nullopt;
    IndexRecord record;
    const auto path = fromUtf8(field[1]);
    const auto size = decimal(field[4]);
    const auto attributes = hex32(field[5]);
    const auto created = fileTimeOf(field[6]);
    const auto accessed = fileTimeOf(field[7]);
    const auto written = fileTimeOf(field[8]);
    std::optional<std::wstring> hash;
    if (const auto hashText = fromUtf8(field[9])) hash = normalHash(*hashText);
    if (!path || path->empty() || !size || !attributes || !created || !accessed || !written || !hash) return std::nullopt;
    record.originalPath = *path;
    record.size = *size;
    record.attributes = *attributes;
    record.created = *created;
    record.accessed = *accessed;
    record.written = *written;
    record.hash = *hash;
    return record;
}

// Reads the whole file from where it stands, hashing it; each chunk also goes to `copy` when given.
OpResult hashAll(RestorePort& port, PortFile from, std::vector<std::byte>& buffer, Sha256& hash, PortFile copy,
                 RestoreStep& failed) {
    while (true) {
        std::size_t got = 0;
        if (const OpResult read = port.read(from, buffer, got); !read.ok()) {
            failed = RestoreStep::Read;
            return read;
        }
        if (got == 0) return {};
        const std::span<const std::byte> chunk(buffer.data(), got);
        hash.update(chunk);
        if (copy) {
            if (const OpResult written = port.write(copy, chunk); !written.ok()) {
                failed = RestoreStep::Write;
                return written;
            }
        }
    }
}

// The attributes a new file may be given: read-only, hidden, system, archive, not indexed. What the
// file system decides itself (folder, link, compressed, sparse, encrypted) is not copied back.
constexpr std::uint32_t kSettableAttributes = 0x1 | 0x2 | 0x4 | 0x20 | 0x2000;

}  // namespace

std::optional<std::wstring> normalHash(std::wstring_view text) {
    if (text.size() != 64) return std::nullopt;
    std::wstring hash;
    for (const wchar_t c : text) {
        const int v = hexValue(c);
        if (v < 0) return std::nullopt;
        hash += L"0123456789abcdef"[v];
    }
    return hash;
}

std::optional<std::uint64_t> fileTimeOf(std::string_view utc) {
    // YYYY-MM-DDTHH:MM:SSZ
    if (utc.size() != 20 || utc[4] != '-' || utc[7] != '-' || utc[10] != 'T' || utc[13] != ':' || utc[16] != ':' ||
        utc[19] != 'Z')
        return std::nullopt;
    const auto year = decimal(utc.substr(0, 4)), month = decimal(utc.substr(5, 2)), day = decimal(utc.substr(8, 2));
    const auto hour = decimal(utc.substr(11, 2)), minute = decimal(utc.substr(14, 2)), second = decimal(utc.substr(17, 2));
    if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
    const auto leap = [](std::uint64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; };
    static constexpr unsigned kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*year < 1601 || *month < 1 || *month > 12 || *day < 1 || *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    if (*day > kMonthDays[*month - 1] + (*month == 2 && leap(*year) ? 1u : 0u)) return std::nullopt;
    std::uint64_t days = 0;
    for (std::uint64_t y = 1601; y < *year; ++y) days += leap(y) ? 366 : 365;
    for (std::uint64_t m = 1; m < *month; ++m) days += kMonthDays[m - 1] + (m == 2 && leap(*year) ? 1u : 0u);
    days += *day - 1;
    return ((days * 24 + *hour) * 60 + *minute) * 60 * 10'000'000 + *second * 10'000'000;
}

std::optional<IndexRecord> findInIndex(std::string_view index, std::wstring_view hash) {
    std::optional<IndexRecord> found;
    for (std::size_t at = 0; at < index.size();) {
        std::size_t end = index.find('\n', at);
        if (end == std::string_view::npos) end = index.size();
        std::string_view line = index.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (auto record = recordOf(line); record && record->hash == hash) found = std::move(record);
        at = end + 1;
    }
    return found;
}

std::wstring restoreDestination(std::wstring_view originalPath, std::wstring_view folder) {
    if (folder.empty()) return std::wstring(originalPath);
    const std::size_t slash = originalPath.find_last_of(L"\\/");
    const std::wstring_view name = slash == std::wstring_view::npos ? originalPath : originalPath.substr(slash + 1);
    std::wstring destination(folder);
    if (destination.back() != L'\\' && destination.back() != L'/') destination += L'\\';
    return destination += name;
}

RestoreResult restoreFromQuarantine(RestorePort& port, Runtime& runtime, std::wstring_view hashText,
                                    std::wstring_view folder) {
    RestoreResult result;
    const auto failed = [&result](RestoreStep step, OpResult error) {
        result.outcome = RestoreOutcome::Failed;
        result.step = step;
        result.error = error;
        return result;
    };
    const auto hash = normalHash(hashText);
    if (!hash) {
        result.outcome = RestoreOutcome::Usage;
        return result;
    }
    result.hash = *hash;

    std::string index;
    if (const OpResult read = port.readIndex(index); !read.ok()) {
        // No index yet: nothing was ever moved into the quarantine.
        if (read.error != kErrorFileNotFound) return failed(RestoreStep::Index, read);
        index.clear();
    }
    const auto record = findInIndex(index, result.hash);
    if (!record) {
        result.outcome = RestoreOutcome::NotInIndex;
        return result;
    }
    result.destination = restoreDestination(record->originalPath, folder);

    PortFile kept;
    if (const OpResult opened = port.openKept(result.hash, kept); !opened.ok()) return failed(RestoreStep::Open, opened);
    struct Closer {
        RestorePort& port;
        PortFile file;
        ~Closer() { port.close(file); }
    } keptOpen{port, kept};

    // The kept file must be what its name says before anything is written.
    std::vector<std::byte> buffer(kChunk);
    RestoreStep step = RestoreStep::Read;
    Sha256 first;
    if (const OpResult check = hashAll(port, kept, buffer, first, {}, step); !check.ok()) return failed(step, check);
    if (Sha256::hex(first.finish()) != result.hash) return failed(RestoreStep::Mismatch, {kErrorCrc});
    if (const OpResult rewound = port.rewind(kept); !rewound.ok()) return failed(RestoreStep::Read, rewound);

    PortFile made;
    if (const OpResult created = port.createNew(result.destination, made); !created.ok()) {
        if (created.error == kErrorFileExists || created.error == kErrorAlreadyExists) {
            result.outcome = RestoreOutcome::DestinationExists;
            result.error = created;
            return result;
        }
        return failed(RestoreStep::Create, created);
    }
    const auto dropped = [&](RestoreStep at, OpResult error) {
        port.discard(made);
        return failed(at, error);
    };
    Sha256 copied;
    if (const OpResult copy = hashAll(port, kept, buffer, copied, made, step); !copy.ok()) return dropped(step, copy);
    if (Sha256::hex(copied.finish()) != result.hash) return dropped(RestoreStep::Mismatch, {kErrorCrc});
    if (const OpResult flushed = port.flush(made); !flushed.ok()) return dropped(RestoreStep::Flush, flushed);
    // Last: the times would move again with any write after them.
    if (const OpResult set = port.setFacts(made, record->attributes & kSettableAttributes, record->created,
                                           record->accessed, record->written);
        !set.ok())
        return dropped(RestoreStep::Facts, set);
    port.close(made);

    runtime.report({EventKind::RestoredFromQuarantine, result.hash, 0, result.destination});
    result.outcome = RestoreOutcome::Restored;
    return result;
}

std::wstring restoreReport(const RestoreResult& result, Notices& notices) {
    const std::wstring reason = result.error.ok() ? std::wstring() : notices.errorReason(result.error.error);
    switch (result.outcome) {
    case RestoreOutcome::Restored:
        return L"Geri yüklendi: " + result.hash + L" -> " + result.destination;
    case RestoreOutcome::Usage:
        return L"Kullanım: \"" DVA_PRODUCT_NAME L".exe\" /restore <SHA-256> [<klasör>]\n"
               L"<SHA-256>, karantinadaki dosyanın 64 onaltılık basamaktan oluşan adıdır (index.tsv'de ve olay "
               L"günlüğünün 1011 kaydında yazar). Klasör verilirse dosya özgün adıyla oraya yazılır; verilmezse "
               L"özgün yerine. Boşluk içeren klasörü tırnak içinde yazın.";
    case RestoreOutcome::NotInIndex:
        return L"Karantinada bu özet yok: " + result.hash;
    case RestoreOutcome::DestinationExists:
        return L"Hedefte zaten bir dosya var, üzerine yazılmadı: " + result.destination;
    case RestoreOutcome::Failed:
        break;
    }
    switch (result.step) {
    case RestoreStep::Index:
        return failureText(L"Karantinanın dizini okunamadı: ", L"index.tsv", reason);
    case RestoreStep::Open:
        return failureText(L"Karantinadaki dosya açılamadı: ", result.hash, reason);
    case RestoreStep::Mismatch:
        return L"Karantinadaki dosyanın içeriği adındaki özetle uyuşmuyor (bozulmuş ya da değiştirilmiş); hiçbir şey "
               L"yazılmadı: " +
               result.hash;
    default:
        return failureText(L"Geri yüklenemedi, yarım dosya bırakılmadı: ", result.destination, reason);
    }
}

int restoreExitCode(RestoreOutcome outcome) {
    switch (outcome) {
    case RestoreOutcome::Restored:
        return 0;
    case RestoreOutcome::Usage:
        return 2;
    case RestoreOutcome::NotInIndex:
        return 3;
    case RestoreOutcome::DestinationExists:
        return 4;
    case RestoreOutcome::Failed:
        break;
    }
    return 5;
}

}  // namespace dva::stick
