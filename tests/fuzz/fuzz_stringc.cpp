// Sequences of StringC operations decoded from the fuzz input, each checked
// against a std::u16string model. Slots share blocks through copies, so every
// change also checks that the other holders of a block keep their text.
#include <UTL/StringC.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

namespace {

using Model = std::u16string;

#define CHECK(ok) ((ok) ? void() : std::abort())
const auto Text = [](const StringC& s) { return Model(static_cast<const char16_t*>(s)); };
const auto Cut = [](const Model& m, size_t limit = 65534) { return m.substr(0, limit); };

void Apply(FuzzedDataProvider& data, StringC (&values)[4], Model (&models)[4]) {
    const int i = data.ConsumeIntegralInRange(0, 3), j = data.ConsumeIntegralInRange(0, 3);
    StringC& s = values[i];
    Model& m = models[i];
    const int size = static_cast<int>(m.size());
    const int index = data.ConsumeIntegralInRange(-3, size + 3);
    const char16_t c =
        data.ConsumeBool() && size ? m[std::abs(index) % size] : data.ConsumeIntegral<char16_t>();
    const int clamped = std::clamp(index, 0, size);
    const StringC before(s);  // a holder of the old block keeps the old text
    const Model old = m;
    switch (data.ConsumeIntegralInRange(0, 11)) {
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
            CHECK(Text(s.Mid(index)) == tail &&
                  Text(s.Mid(index, count)) == tail.substr(0, std::max(count, 0)));
            CHECK(Text(s + values[j]) == Cut(m + models[j]));
            const size_t at = c == 0 ? m.size() : m.find(c, clamped);
            CHECK(s.Find(c, index) == (index > size || at == Model::npos ? -1 : int(at)));
            CHECK(s.GetAt(index) == (index >= 0 && index < size ? m[index] : 0) &&
                  s[index] == s.GetAt(index));
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
        case 7:  // a long format without directives is taken as text
            m = Model(data.ConsumeIntegralInRange(3400, 3600), u'f'), s.Format(m.c_str());
            break;
        case 8:  // a text of its own buffer, or one over the length limit
            if (data.ConsumeBool()) {
                s = static_cast<const char16_t*>(s) + clamped, m = m.substr(clamped);
            } else {
                m = Model(data.ConsumeIntegralInRange(65530, 65540), c | 1);
                s = m.c_str(), m = Cut(m);
            }
            break;
        case 9: {  // the source of a move becomes empty; a move onto itself changes nothing
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
        case 10: {  // a view, which may hold zero units: the text ends at the first
            const std::string bytes = data.ConsumeRandomLengthString(40);
            const Model units(bytes.begin(), bytes.end());
            s = StringC(std::u16string_view(units)), m = units.c_str();
            break;
        }
        default:
            s.Empty(), m.clear();
    }
    CHECK(Text(before) == old);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    FuzzedDataProvider data(bytes, size);
    StringC values[4];
    Model models[4];
    for (int step = 0; step < 64 && data.remaining_bytes() > 0; ++step) {
        Apply(data, values, models);
        for (int k = 0; k < 4; ++k)
            CHECK(Text(values[k]) == models[k] && values[k].GetLength() == int(models[k].size()) &&
                  values[k].IsEmpty() == models[k].empty() && values[k].View() == models[k]);
    }
    return 0;
}
