// Sequences of StringC operations decoded from the fuzz input, each checked
// against a std::u16string model of the same text. A handful of slots hold
// strings that share blocks through copies, so every change also checks that
// the other holders of a block keep their text.
#include <UTL/StringC.h>
#include <UTL/TokenAccessor.h>
#include <UTL/WideText.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kSlots = 6;
constexpr std::size_t kMaxLength = 65534;
constexpr std::size_t kFormatResultMax = 4095;

struct Slot {
    StringC value;
    std::u16string model;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

std::u16string Text(const StringC& s) {
    return std::u16string(static_cast<const char16_t*>(s));
}

std::u16string Cut(std::u16string text, std::size_t limit = kMaxLength) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

// Up to `max` code units; the model text ends at the first zero, as StringC's does.
std::u16string TakeUnits(FuzzedDataProvider& data, std::size_t max) {
    const std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, max);
    std::u16string units;
    for (std::size_t i = 0; i < count && data.remaining_bytes() > 0; ++i) {
        // Mostly ASCII so that formats, trims and case mapping meet their characters.
        units.push_back(data.ConsumeBool()
                            ? static_cast<char16_t>(data.ConsumeIntegralInRange(0x20, 0x7E))
                            : data.ConsumeIntegral<char16_t>());
    }
    return units;
}

std::u16string UpTo0(const std::u16string& units) {
    return std::u16string(units.c_str());
}

int ModelCompare(const std::u16string& a, const std::u16string& b, bool caseSensitive) {
    for (std::size_t i = 0;; ++i) {
        char16_t x = i < a.size() ? a[i] : 0;
        char16_t y = i < b.size() ? b[i] : 0;
        if (!caseSensitive) {
            x = ltowlower(x);
            y = ltowlower(y);
        }
        if (x != y) return x < y ? -1 : 1;
        if (y == 0) return 0;
    }
}

std::u16string Widen(const std::string& narrow) {
    return std::u16string(narrow.begin(), narrow.end());
}

// Serves the texts the input put into it.
class FuzzAccessor : public UTL::TokenAccessorI {
public:
    const char16_t* getToken(unsigned long key1, unsigned long key2) override {
        if (key1 >= texts.size() || key2 != 7) return nullptr;
        return texts[key1].c_str();
    }
    std::vector<std::u16string> texts;
};

void CheckAll(const std::vector<Slot>& slots) {
    for (const Slot& slot : slots) {
        Check(Text(slot.value) == slot.model);
        Check(slot.value.GetLength() == static_cast<int>(slot.model.size()));
        Check(slot.value.IsEmpty() == slot.model.empty());
    }
}

void Apply(FuzzedDataProvider& data, std::vector<Slot>& slots, FuzzAccessor& accessor) {
    Slot& slot = slots[data.ConsumeIntegralInRange<std::size_t>(0, kSlots - 1)];
    Slot& other = slots[data.ConsumeIntegralInRange<std::size_t>(0, kSlots - 1)];
    StringC& s = slot.value;
    std::u16string& m = slot.model;
    switch (data.ConsumeIntegralInRange(0, 22)) {
        case 0: {  // assign text
            const std::u16string units = TakeUnits(data, 40);
            s = units.c_str();
            m = UpTo0(units);
            break;
        }
        case 1:  // share
            s = other.value;
            m = other.model;
            break;
        case 2: {  // copy-construct, then assign the copy
            StringC copy(other.value);
            s = copy;
            m = other.model;
            break;
        }
        case 3: {  // append text
            const std::u16string units = TakeUnits(data, 40);
            s += units.c_str();
            m = Cut(m + UpTo0(units));
            break;
        }
        case 4:  // append a string, possibly itself
            m = Cut(m + other.model);
            s += other.value;
            break;
        case 5: {  // operator+
            const StringC joined = s + other.value;
            Check(Text(joined) == Cut(m + other.model));
            const char16_t* none = nullptr;
            Check(Text(s + none) == m);
            break;
        }
        case 6: {  // Mid
            const int start = data.ConsumeIntegralInRange(-5, static_cast<int>(m.size()) + 5);
            const int count = data.ConsumeIntegralInRange(-5, static_cast<int>(m.size()) + 5);
            const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
            const std::u16string tail = from > m.size() ? u"" : m.substr(from);
            Check(Text(s.Mid(start)) == tail);
            Check(Text(s.Mid(start, count)) == tail.substr(0, count < 0 ? 0 : count));
            break;
        }
        case 7: {  // SetAt
            const int index = data.ConsumeIntegralInRange(-3, static_cast<int>(m.size()) + 3);
            const char16_t c = data.ConsumeBool() ? u'\0' : data.ConsumeIntegral<char16_t>();
            s.SetAt(index, c);
            if (index >= 0 && static_cast<std::size_t>(index) < m.size()) {
                if (c == 0) {
                    m.resize(index);
                } else {
                    m[index] = c;
                }
            }
            break;
        }
        case 8: {  // Remove
            const char16_t c = data.ConsumeBool() && !m.empty()
                                   ? m[data.ConsumeIntegralInRange<std::size_t>(0, m.size() - 1)]
                                   : data.ConsumeIntegral<char16_t>();
            std::u16string kept;
            for (char16_t unit : m) {
                if (unit != c) kept.push_back(unit);
            }
            const int removed = c == 0 ? 0 : static_cast<int>(m.size() - kept.size());
            Check(s.Remove(c) == removed);
            m = kept;
            break;
        }
        case 9: {  // trims
            const bool left = data.ConsumeBool();
            if (left) {
                s.LTrim();
                m.erase(0, m.find_first_not_of(u" \t") == std::u16string::npos
                               ? m.size()
                               : m.find_first_not_of(u" \t"));
            } else {
                s.RTrim();
                const std::size_t last = m.find_last_not_of(u" \t");
                m.resize(last == std::u16string::npos ? 0 : last + 1);
            }
            break;
        }
        case 10: {  // Find
            const char16_t c = data.ConsumeBool() && !m.empty()
                                   ? m[data.ConsumeIntegralInRange<std::size_t>(0, m.size() - 1)]
                                   : data.ConsumeIntegral<char16_t>();
            const int start = data.ConsumeIntegralInRange(-3, static_cast<int>(m.size()) + 3);
            const std::size_t from = start < 0 ? 0 : static_cast<std::size_t>(start);
            int expected = -1;
            if (from <= m.size()) {
                if (c == 0) {
                    expected = static_cast<int>(m.size());
                } else {
                    const std::size_t at = m.find(c, from);
                    expected = at == std::u16string::npos ? -1 : static_cast<int>(at);
                }
            }
            Check(s.Find(c, start) == expected);
            break;
        }
        case 11: {  // comparisons
            const bool caseSensitive = data.ConsumeBool();
            const int expected = ModelCompare(m, other.model, caseSensitive);
            Check(s.Compare(other.value, caseSensitive) == expected);
            const int exact = ModelCompare(m, other.model, true);
            Check((s == other.value) == (exact == 0));
            Check((s < other.value) == (exact < 0));
            Check((s >= other.value) == (exact >= 0));
            const char16_t* none = nullptr;
            Check(s.Compare(none) == (m.empty() ? 0 : 1));
            break;
        }
        case 12:  // case mapping
            if (data.ConsumeBool()) {
                s.ToUpper();
                for (char16_t& c : m) c = ltowupper(c);
            } else {
                s.ToLower();
                for (char16_t& c : m) c = ltowlower(c);
            }
            break;
        case 13: {  // Format with formats whose output the model knows
            const int number = data.ConsumeIntegral<int>();
            switch (data.ConsumeIntegralInRange(0, 3)) {
                case 0:
                    s.Format(u"%d", number);
                    m = Widen(std::to_string(number));
                    break;
                case 1: {
                    const std::u16string argument = UpTo0(other.model);
                    s.Format(u"[%s]", argument.c_str());
                    m = Cut(u"[" + argument + u"]", kFormatResultMax);
                    break;
                }
                case 2: {
                    const std::u16string argument = m;
                    s.Format(u"%s%s|%d", argument.c_str(), argument.c_str(), number);
                    m = Cut(argument + argument + u"|" + Widen(std::to_string(number)),
                            kFormatResultMax);
                    break;
                }
                default: {  // a long format without directives is taken as text
                    const std::size_t length = data.ConsumeIntegralInRange<std::size_t>(3400, 3600);
                    const std::u16string format(length, u'f');
                    s.Format(format.c_str());
                    m = format;
                    break;
                }
            }
            break;
        }
        case 14: {  // Scan: results are the engine's; the string must be untouched
            int value = 0;
            std::vector<char16_t> field(m.size() + 2);
            const int result =
                data.ConsumeBool() ? s.Scan(u"%d", &value) : s.Scan(u"%s", field.data());
            Check(result >= -1 && result <= 1);
            break;
        }
        case 15:  // Empty
            s.Empty();
            m.clear();
            break;
        case 16: {  // GetAt and operator[] anywhere
            const int index = data.ConsumeIntegralInRange(INT_MIN, INT_MAX);
            const int near = data.ConsumeIntegralInRange(-2, static_cast<int>(m.size()) + 2);
            for (int i : {index, near}) {
                const char16_t expected =
                    i >= 0 && static_cast<std::size_t>(i) < m.size() ? m[i] : u'\0';
                Check(s.GetAt(i) == expected && s[i] == expected);
            }
            break;
        }
        case 17: {  // LoadTxt
            const unsigned long key1 = data.ConsumeIntegralInRange<unsigned long>(0, 3);
            const unsigned int key2 = data.ConsumeBool() ? 7 : 8;
            const bool found = s.LoadTxt(key1, key2);
            const bool expected = key1 < accessor.texts.size() && key2 == 7;
            Check(found == expected);
            m = expected ? UpTo0(accessor.texts[key1]) : u"";
            break;
        }
        case 18:  // a narrow text
        {
            const std::string bytes = data.ConsumeRandomLengthString(40);
            s = StringC(bytes.c_str());
            m.clear();
            for (unsigned char byte : std::string(bytes.c_str())) m.push_back(byte);
            break;
        }
        case 19: {  // grow by doubling to meet the length limit
            for (int i = 0; i < 4; ++i) {
                s += s;
                m = Cut(m + m);
            }
            break;
        }
        case 20:  // a text of its own buffer
            if (!m.empty()) {
                const std::size_t from = data.ConsumeIntegralInRange<std::size_t>(0, m.size());
                s = static_cast<const char16_t*>(s) + from;
                m = m.substr(from);
            }
            break;
        case 21: {  // a value copy that outlives a change of the original
            const StringC before(s);
            const std::u16string beforeModel = m;
            s.SetAt(0, u'#');
            if (!m.empty()) m[0] = u'#';
            Check(Text(before) == beforeModel);
            break;
        }
        default: {  // a text longer than a block can carry
            const std::size_t length = data.ConsumeIntegralInRange<std::size_t>(65530, 65540);
            const std::u16string big(length, u'z');
            s = big.c_str();
            m = Cut(big);
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    FuzzAccessor accessor;
    for (int i = 0; i < 3; ++i) accessor.texts.push_back(UpTo0(TakeUnits(data, 20)));
    UTL::TokenAccessorBridgeC::setTokenAccessor(&accessor);

    std::vector<Slot> slots(kSlots);
    for (int step = 0; step < 64 && data.remaining_bytes() > 0; ++step) {
        Apply(data, slots, accessor);
        CheckAll(slots);
    }
    UTL::TokenAccessorBridgeC::setTokenAccessor(nullptr);
    return 0;
}
