// Sequences of StringC operations decoded from the fuzz input, each checked
// against a std::u16string model. Slots share blocks through copies, so every
// change also checks that the other holders of a block keep their text.
//
// Checks are by memcmp against the model. After every step the slots it wrote
// and a holder of the changed string's old block are compared in full, every
// other slot by its length and first 16 units (all of an inline text, whose
// block a reference-count error would hand out again unseen by ASan); all
// slots in full at the end.
//
// Runs stay cheap: at most 16 steps and 32768 units of text touched. Under the
// coverage instrumentation every unit the library scans costs a compare
// callback, so texts at the 65534-unit limit (whose cut the unit tests check)
// would cost as much as hundreds of runs on short texts.
#include <UTL/StringC.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace {

using Model = std::u16string;

constexpr int kSlots = 4;
constexpr int kSteps = 16;       // enough to share, change and share again
constexpr size_t kWork = 32768;  // units of text a run may touch

#define CHECK(ok) ((ok) ? void() : std::abort())
const auto Cut = [](const Model& m, size_t limit = 65534) { return m.substr(0, limit); };

// Made once: filling a new text runs a loop, instrumented unit by unit.
const Model& LongFormat() {
    static const Model format = Model(3501, u'f') + u"%%";
    return format;
}

// `s` holds exactly the model's text: its units, its terminator and its length.
void CheckText(const StringC& s, const Model& m) {
    const char16_t* text = s;
    CHECK(s.GetLength() == int(m.size()));
    CHECK(std::memcmp(text, m.c_str(), (m.size() + 1) * sizeof(char16_t)) == 0);
    CHECK(s.View().data() == text);
    CHECK(s.View().size() == m.size());
    CHECK(s.IsEmpty() == m.empty());
}

void CheckStart(const StringC& s, const Model& m) {
    const size_t units = std::min<size_t>(m.size() + 1, 16);
    CHECK(s.GetLength() == int(m.size()));
    CHECK(std::memcmp(static_cast<const char16_t*>(s), m.c_str(), units * sizeof(char16_t)) == 0);
}

Model Trimmed(const Model& m, bool left) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    if (left) return Model(std::find_if_not(m.begin(), m.end(), blank), m.end());
    return Model(m.begin(), std::find_if_not(m.rbegin(), m.rend(), blank).base());
}

// One step on slot i, with slot j as a second operand (or a move's source).
// Returns the units of text it touched.
size_t Apply(FuzzedDataProvider& data, StringC (&values)[kSlots], Model (&models)[kSlots]) {
    const int i = data.ConsumeIntegralInRange(0, kSlots - 1);
    const int j = data.ConsumeIntegralInRange(0, kSlots - 1);
    StringC& s = values[i];
    Model& m = models[i];
    const int size = static_cast<int>(m.size());
    const int index = data.ConsumeIntegralInRange(-3, size + 3);
    const char16_t c =
        data.ConsumeBool() && size ? m[std::abs(index) % size] : data.ConsumeIntegral<char16_t>();
    const int clamped = std::clamp(index, 0, size);
    const StringC before(s);  // a holder of the old block keeps the old text
    const Model old = m;
    switch (data.ConsumeIntegralInRange(0, 12)) {
        case 0: {  // mostly ASCII bytes; high bytes become high units
            const std::string bytes = data.ConsumeRandomLengthString(40);
            m = Model(bytes.begin(), bytes.end()).c_str(), s = m.c_str();  // up to a zero
            break;
        }
        case 1:
            s = values[j], m = models[j];
            break;
        case 2:  // possibly itself, whole or from a unit of its text on
            if (data.ConsumeBool()) {
                m = Cut(m + models[j]), s += values[j];
            } else {
                const std::size_t from = std::min<std::size_t>(clamped, models[j].size());
                const Model tail = models[j].substr(from);
                m = Cut(m + tail), s += static_cast<const char16_t*>(values[j]) + from;
            }
            break;
        case 3: {
            const int count = data.ConsumeIntegralInRange(-3, size + 3);
            const Model tail = index > size ? u"" : m.substr(clamped);
            CheckText(s.Mid(index), tail);
            CheckText(s.Mid(index, count), tail.substr(0, std::max(count, 0)));
            CheckText(s + values[j], Cut(m + models[j]));
            const size_t at = c == 0 ? m.size() : m.find(c, clamped);
            CHECK(s.Find(c, index) == (index > size || at == Model::npos ? -1 : int(at)));
            CHECK(s.GetAt(index) == (index >= 0 && index < size ? m[index] : 0));
            CHECK(s[index] == s.GetAt(index));
            break;
        }
        case 4:
            s.SetAt(index, c);
            if (index >= 0 && index < size)
                m = m.substr(0, index) + (c ? c + m.substr(index + 1) : u"");
            break;
        case 5:
            CHECK(s.Remove(c) == (c ? std::count(m.begin(), m.end(), c) : 0));
            m.erase(std::remove(m.begin(), m.end(), c), m.end());
            break;
        case 6: {  // the argument may be the string's own text; the area holds 4095 units
            const int number = data.ConsumeIntegral<int>();
            const std::string digits = std::to_string(number);
            const char16_t* argument = values[j];
            m = Cut(u"[" + models[j] + u"|" + Model(digits.begin(), digits.end()) + u"]", 4095);
            s.Format(u"[%s|%d]", argument, number);
            break;
        }
        case 7:  // a text of its own buffer
            s = static_cast<const char16_t*>(s) + clamped, m = m.substr(clamped);
            break;
        case 8: {  // the source of a move becomes empty; a move onto itself changes nothing
            const Model moved = models[j];
            if (data.ConsumeBool()) {
                StringC taken(std::move(values[j]));
                models[j].clear();
                s = taken;
            } else {
                s = std::move(values[j]);
                if (i != j) models[j].clear();
            }
            m = moved;
            break;
        }
        case 9: {  // a view, which may hold zero units: the text ends at the first
            const std::string bytes = data.ConsumeRandomLengthString(40);
            const Model units(bytes.begin(), bytes.end());
            s = StringC(std::u16string_view(units)), m = units.c_str();
            break;
        }
        case 10: {
            const bool left = data.ConsumeBool();
            left ? s.LTrim() : s.RTrim();
            m = Trimmed(m, left);
            break;
        }
        case 11:
            s.Empty(), m.clear();
            break;
        default:  // a format over 3500 units is taken as text, "%%" and all
            m = LongFormat(), s.Format(m.c_str());
    }
    CheckText(s, m);
    CheckText(values[j], models[j]);
    CheckText(before, old);
    return old.size() + m.size() + models[j].size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    StringC values[kSlots];
    Model models[kSlots];
    size_t work = 0;
    for (int step = 0; step < kSteps && work < kWork && data.remaining_bytes() > 0; ++step) {
        work += Apply(data, values, models);
        for (int k = 0; k < kSlots; ++k) CheckStart(values[k], models[k]);
    }
    for (int k = 0; k < kSlots; ++k) CheckText(values[k], models[k]);
    return 0;
}
