#include "grob/list.h"

#include "grob/checks.h"
#include "grobcodec.h"

#include <algorithm>

namespace grob {

namespace {

using codec::Fail;

// The list's prologue and end marker.
constexpr std::uint64_t kListFrameNibbles = 10;
// A GROB inside a list: its prologue, size, height and width, then its body.
std::uint64_t NibblesInList(const Extent& dots) {
    return 20 + 2 *
                    std::uint64_t{RowStride(
                        std::uint32_t(std::min<std::uint64_t>(dots.width, kFieldLimit)))} *
                    dots.height;
}

// Checks every GROB's fields and the size of the whole list object.
void CheckList(Series series, const std::vector<GrobObject>& objects, const std::string& path) {
    std::vector<Extent> sizes;
    sizes.reserve(objects.size());
    for (const GrobObject& object : objects) {
        MakeHead(series, object.width, object.height, path);
        sizes.push_back({object.width, object.height});
    }
    if (const std::string refusal = ListSizeRefusal(sizes, {}); !refusal.empty())
        throw GrobError(ErrorCode::FieldOverflow, path, refusal);
}

bool WordAt(std::string_view text, std::size_t at, std::string_view word) {
    return text.substr(at, word.size()) == word && at + word.size() < text.size() &&
           codec::IsSpace(text[at + word.size()]);
}

// The first "{" on its own that "GROB", "{" or "}" follows, or npos.
std::size_t FindListStart(std::string_view text) {
    for (std::size_t at = text.find('{'); at != std::string_view::npos;
         at = text.find('{', at + 1)) {
        if (at > 0 && !codec::IsSpace(text[at - 1]) && text[at - 1] != ';') continue;
        std::size_t next = at + 1;
        while (next < text.size() && codec::IsSpace(text[next]))
            ++next;
        if (next < text.size() &&
            (text[next] == '}' || text[next] == '{' || WordAt(text, next, "GROB")))
            return at;
    }
    return std::string_view::npos;
}

const char kNested[] = "the list holds another list; lists inside lists are not read";

// Throws unless the prologue of an object inside a list is a GROB's.
void CheckListItem(std::uint32_t prologue, const std::string& path) {
    if (prologue == codec::kListPrologue) Fail(path, kNested);
    if (prologue != codec::kGrobPrologue)
        Fail(path, "the list holds an object that is not a GROB (its prologue is " +
                       codec::PrologueText(prologue) + ")");
}

} // namespace

std::uint64_t ListObjectBytes(std::span<const Extent> grobs) {
    std::uint64_t nibbles = kListFrameNibbles;
    for (const Extent& dots : grobs)
        nibbles += NibblesInList(dots);
    return (nibbles + 1) / 2;
}

namespace {

std::string SizeRefusal(std::string_view what, std::uint64_t bytes, std::string_view hint) {
    if (bytes <= kMaxListBytes) return {};
    std::string refusal = "the " + std::string(what) + " would be " +
                          Thousands(std::int64_t(bytes)) + " bytes; a calculator holds at most " +
                          Thousands(std::int64_t(kMaxListBytes)) +
                          " (288 KB, the most user memory of any HP 48 or HP 49)";
    if (!hint.empty()) refusal += ": " + std::string(hint);
    return refusal;
}

} // namespace

std::uint64_t GrobObjectBytes(const Extent& dots) {
    return (NibblesInList(dots) + 1) / 2;
}

std::string GrobSizeRefusal(const Extent& dots, std::string_view hint) {
    return SizeRefusal("GROB", GrobObjectBytes(dots), hint);
}

std::string ListSizeRefusal(std::span<const Extent> grobs, std::string_view hint) {
    return SizeRefusal("list", ListObjectBytes(grobs), hint);
}

bool LooksLikeBinaryList(std::span<const std::uint8_t> data) {
    return LooksLikeBinaryGrob(data) && data.size() >= 11 && data[8] == 0x74 && data[9] == 0x2A &&
           (data[10] & 0xF) == 0;
}

bool LooksLikeTextList(std::span<const std::uint8_t> data) {
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    if (!codec::IsPlainText(text, 512)) return false;
    const std::size_t start = FindListStart(text);
    if (start == std::string_view::npos) return false;
    const std::size_t grob = codec::FindWord(text, "GROB", 0);
    return (grob == std::string_view::npos || start < grob) && codec::IsPlainText(text, start);
}

std::vector<std::uint8_t> BinaryList(Series series, const std::vector<GrobObject>& objects,
                                     const std::string& path) {
    CheckList(series, objects, path);
    codec::NibbleWriter out;
    const auto head = MakeHead(series, 0, 0, path);
    out.PutBytes(std::span(head).first(8));
    out.Put(codec::kListPrologue, 5);
    for (const GrobObject& object : objects)
        codec::WriteGrobObject(out, object, path);
    out.Put(codec::kListEnd, 5);
    return std::move(out.bytes());
}

std::string TextList(const std::vector<GrobObject>& objects, const std::string& path,
                     TextHeader header) {
    CheckList(Series::HP49, objects, path);
    std::string text = header == TextHeader::With ? std::string(codec::kTextHeader) : std::string();
    text.append("{\r\n");
    for (const GrobObject& object : objects) {
        codec::CheckBody(object, path);
        codec::AppendTextGrob(text, object);
        text.append("\r\n");
    }
    text.append("}\r\n");
    return text;
}

GrobList ReadBinaryList(std::span<const std::uint8_t> data, const std::string& path) {
    GrobList list;
    list.series = codec::CheckHeader(data, path);
    if (data.size() - 8 > kMaxListBytes)
        Fail(path, "the list is " + Thousands(std::int64_t(data.size() - 8)) +
                       " bytes; a calculator holds at most " +
                       Thousands(std::int64_t(kMaxListBytes)));
    codec::NibbleReader in(data.subspan(8));
    if (in.left() < 5) Fail(path, "the list's prologue is cut short");
    const std::uint32_t prologue = in.Take(5);
    if (prologue != codec::kListPrologue)
        Fail(path, "the object is not a list (its prologue is " + codec::PrologueText(prologue) +
                       ", not 02A74)");
    for (;;) {
        if (in.left() < 5) Fail(path, "the list is cut short: it does not end with 0312B");
        const std::uint32_t next = in.Take(5);
        if (next == codec::kListEnd) break;
        CheckListItem(next, path);
        list.objects.push_back(codec::ReadGrobFields(in, list.series, path));
    }
    if (in.left() > 0) Fail(path, std::to_string((in.left() + 1) / 2) + " bytes follow the list");
    return list;
}

std::optional<BinaryLength> BinaryFileLength(std::span<const std::uint8_t> start,
                                             const std::string& path) {
    codec::CheckHeader(start, path);
    const std::span<const std::uint8_t> object = start.subspan(8);
    // One field, five nibbles from nibble `at` of the object, if the start holds it.
    auto field = [&](std::uint64_t at) -> std::optional<std::uint32_t> {
        if (at + 5 > 2 * std::uint64_t{object.size()}) return std::nullopt;
        std::uint32_t value = 0;
        for (int i = 0; i < 5; ++i, ++at)
            value |= std::uint32_t(object[at / 2] >> (at % 2 ? 4 : 0) & 0xF) << (4 * i);
        return value;
    };
    BinaryLength length;
    // The end of the GROB whose prologue is at nibble `at`: its size field counts
    // itself, the height, the width and the body.
    auto grobEnd = [&](std::uint64_t at) -> std::optional<std::uint64_t> {
        const auto size = field(at + 5), height = field(at + 10), width = field(at + 15);
        if (!width) return std::nullopt;
        codec::CheckSizeField(*size, *width, *height, path);
        if (!length.first) length.first = Extent{*width, *height};
        return at + 5 + *size;
    };
    const auto prologue = field(0);
    if (!prologue) return std::nullopt;
    if (*prologue != codec::kListPrologue) {
        codec::CheckGrobPrologue(*prologue, path);
        const auto end = grobEnd(0);
        if (!end) return std::nullopt;
        length.bytes = 8 + (*end + 1) / 2;
        return length;
    }
    // Refused as soon as the nibbles it takes at least are too many, so
    // that a start of kMaxListBytes + 8 bytes always tells.
    auto atLeast = [&](std::uint64_t nibbles) {
        if ((nibbles + 1) / 2 > kMaxListBytes)
            Fail(path, "the list is longer than " + Thousands(std::int64_t(kMaxListBytes)) +
                           " bytes, the most a calculator holds");
    };
    for (std::uint64_t at = 5;;) {
        atLeast(at + 5); // the end marker
        const auto next = field(at);
        if (!next) return std::nullopt;
        if (*next == codec::kListEnd) {
            length.bytes = 8 + (at + 5 + 1) / 2;
            return length;
        }
        CheckListItem(*next, path);
        atLeast(at + 25); // the GROB's prologue and fields, then the end marker
        const auto end = grobEnd(at);
        if (!end) return std::nullopt;
        at = *end;
    }
}

GrobList ReadTextList(std::span<const std::uint8_t> data, const std::string& path) {
    std::string storage;
    const std::string_view text = codec::TextOf(data, storage);
    const std::size_t start = FindListStart(text);
    if (start == std::string_view::npos) Fail(path, "it holds no list of GROBs");
    GrobList list;
    std::uint64_t nibbles = kListFrameNibbles;
    for (std::size_t at = start + 1;;) {
        while (at < text.size() && codec::IsSpace(text[at]))
            ++at;
        if (at == text.size()) Fail(path, "the list is cut short: it does not end with \"}\"");
        if (text[at] == '}') break;
        if (text[at] == '{') Fail(path, kNested);
        if (!WordAt(text, at, "GROB")) {
            std::size_t end = at;
            while (end < text.size() && end - at < 20 && !codec::IsSpace(text[end]))
                ++end;
            Fail(path, "the list holds something other than a GROB: \"" +
                           std::string(text.substr(at, end - at)) + "\"");
        }
        at += 4;
        GrobObject object;
        std::string cause;
        bool numbers = false;
        if (!codec::ParseTextGrob(text, at, object, cause, numbers))
            Fail(path,
                 "GROB " + std::to_string(list.objects.size() + 1) + " of the list: " + cause);
        // Nothing more is kept once the list is known to be too large.
        nibbles += NibblesInList({object.width, object.height});
        if (nibbles > 2 * kMaxListBytes) {
            list.objects.push_back(std::move(object));
            std::vector<Extent> sizes;
            for (const GrobObject& kept : list.objects)
                sizes.push_back({kept.width, kept.height});
            Fail(path, ListSizeRefusal(sizes, {}));
        }
        list.objects.push_back(std::move(object));
    }
    return list;
}

} // namespace grob
