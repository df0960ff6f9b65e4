// StringC beside std::u16string for texts of 5, 40 and 400 code units:
// construction, copy, assignment, +=, ten appends, Mid, Find, Compare and
// Format. Each StringC case has a std::u16string twin of the same name, and,
// where Qt is installed, a QString twin (an implicitly shared 16-bit string,
// StringC's closest kin).
#include <UTL/StringC.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#ifdef UTL_HAVE_QT
#include <QString>
#endif

namespace {

// A text of `length` units whose last unit is '#'.
std::u16string MakeText(int length) {
    std::u16string text;
    for (int i = 0; i + 1 < length; ++i) text.push_back(static_cast<char16_t>(u'a' + i % 26));
    text.push_back(u'#');
    return text;
}

const char16_t kPiece[] = u"-tail";

// ---- Construction from a text ----------------------------------------------------

void BM_Construct_StringC(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        StringC s(text.c_str());
        benchmark::DoNotOptimize(s);
    }
}
void BM_Construct_U16(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::u16string s(text.c_str());
        benchmark::DoNotOptimize(s);
    }
}

// ---- Copy construction -----------------------------------------------------------

void BM_Copy_StringC(benchmark::State& state) {
    const StringC source(MakeText(static_cast<int>(state.range(0))).c_str());
    for (auto _ : state) {
        StringC copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
void BM_Copy_U16(benchmark::State& state) {
    const std::u16string source = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::u16string copy(source);
        benchmark::DoNotOptimize(copy);
    }
}

// ---- Assignment between strings (two sources in turn) ------------------------------

void BM_Assign_StringC(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    const StringC first(text.c_str());
    const StringC second(text.c_str());
    StringC target;
    for (auto _ : state) {
        target = first;
        benchmark::DoNotOptimize(target);
        target = second;
        benchmark::DoNotOptimize(target);
    }
}
void BM_Assign_U16(benchmark::State& state) {
    const std::u16string first = MakeText(static_cast<int>(state.range(0)));
    const std::u16string second = first;
    std::u16string target;
    for (auto _ : state) {
        target = first;
        benchmark::DoNotOptimize(target);
        target = second;
        benchmark::DoNotOptimize(target);
    }
}

// ---- Assignment of a text (two texts in turn) -------------------------------------

void BM_AssignText_StringC(benchmark::State& state) {
    const std::u16string first = MakeText(static_cast<int>(state.range(0)));
    const std::u16string second = first;
    StringC target;
    for (auto _ : state) {
        target = first.c_str();
        benchmark::DoNotOptimize(target);
        target = second.c_str();
        benchmark::DoNotOptimize(target);
    }
}
void BM_AssignText_U16(benchmark::State& state) {
    const std::u16string first = MakeText(static_cast<int>(state.range(0)));
    const std::u16string second = first;
    std::u16string target;
    for (auto _ : state) {
        target = first.c_str();
        benchmark::DoNotOptimize(target);
        target = second.c_str();
        benchmark::DoNotOptimize(target);
    }
}

// ---- Copy, then append a 5-unit piece ----------------------------------------------

void BM_Append_StringC(benchmark::State& state) {
    const StringC base(MakeText(static_cast<int>(state.range(0))).c_str());
    for (auto _ : state) {
        StringC s(base);
        s += kPiece;
        benchmark::DoNotOptimize(s);
    }
}
void BM_Append_U16(benchmark::State& state) {
    const std::u16string base = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::u16string s(base);
        s += kPiece;
        benchmark::DoNotOptimize(s);
    }
}

// ---- Ten appends of a 16-unit piece to an empty string ------------------------------

const char16_t kPiece16[] = u"0123456789abcdef";

void BM_AppendTen_StringC(benchmark::State& state) {
    for (auto _ : state) {
        StringC s;
        for (int i = 0; i < 10; ++i) s += kPiece16;
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendTen_U16(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string s;
        for (int i = 0; i < 10; ++i) s += kPiece16;
        benchmark::DoNotOptimize(s);
    }
}

// ---- Ten appends of a 1-unit text to an empty string ---------------------------------

const char16_t kUnit[] = u"x";

void BM_AppendTenUnits_StringC(benchmark::State& state) {
    for (auto _ : state) {
        StringC s;
        for (int i = 0; i < 10; ++i) s += kUnit;
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendTenUnits_U16(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string s;
        for (int i = 0; i < 10; ++i) s += kUnit;
        benchmark::DoNotOptimize(s);
    }
}

// ---- One 10-unit append to an empty string ----------------------------------------

const char16_t kPiece10[] = u"0123456789";

void BM_AppendOnce_StringC(benchmark::State& state) {
    for (auto _ : state) {
        StringC s;
        s += kPiece10;
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendOnce_U16(benchmark::State& state) {
    for (auto _ : state) {
        std::u16string s;
        s += kPiece10;
        benchmark::DoNotOptimize(s);
    }
}

// ---- Middle half of the text -------------------------------------------------------

void BM_Mid_StringC(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    const StringC s(MakeText(length).c_str());
    for (auto _ : state) {
        StringC part = s.Mid(length / 4, length / 2);
        benchmark::DoNotOptimize(part);
    }
}
void BM_Mid_U16(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    const std::u16string s = MakeText(length);
    for (auto _ : state) {
        std::u16string part = s.substr(length / 4, length / 2);
        benchmark::DoNotOptimize(part);
    }
}

// ---- Find the last unit ------------------------------------------------------------

void BM_Find_StringC(benchmark::State& state) {
    const StringC s(MakeText(static_cast<int>(state.range(0))).c_str());
    for (auto _ : state) benchmark::DoNotOptimize(s.Find(u'#'));
}
void BM_Find_U16(benchmark::State& state) {
    const std::u16string s = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(s.find(u'#'));
}

// ---- Compare texts that differ in the last unit -------------------------------------

void BM_Compare_StringC(benchmark::State& state) {
    std::u16string text = MakeText(static_cast<int>(state.range(0)));
    const StringC a(text.c_str());
    text.back() = u'$';
    const StringC b(text.c_str());
    for (auto _ : state) benchmark::DoNotOptimize(a.Compare(b));
}
void BM_Compare_U16(benchmark::State& state) {
    std::u16string text = MakeText(static_cast<int>(state.range(0)));
    const std::u16string a = text;
    text.back() = u'$';
    const std::u16string b = text;
    for (auto _ : state) benchmark::DoNotOptimize(a.compare(b));
}

// ---- Format "<text>: <int>" ----------------------------------------------------------
// The u16string side formats the number with snprintf and joins the pieces.

void BM_Format_StringC(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    StringC s;
    int n = 0;
    for (auto _ : state) {
        s.Format(u"%s: %d", text.c_str(), ++n);
        benchmark::DoNotOptimize(s);
    }
}
void BM_Format_U16(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    std::u16string s;
    int n = 0;
    for (auto _ : state) {
        char digits[16];
        const int count = std::snprintf(digits, sizeof digits, "%d", ++n);
        s = text;
        s += u": ";
        s.append(digits, digits + count);
        benchmark::DoNotOptimize(s);
    }
}

#define UTL_STRING_BENCH(name) BENCHMARK(name)->Arg(5)->Arg(40)->Arg(400)

UTL_STRING_BENCH(BM_Construct_StringC);
UTL_STRING_BENCH(BM_Construct_U16);
UTL_STRING_BENCH(BM_Copy_StringC);
UTL_STRING_BENCH(BM_Copy_U16);
UTL_STRING_BENCH(BM_Assign_StringC);
UTL_STRING_BENCH(BM_Assign_U16);
UTL_STRING_BENCH(BM_AssignText_StringC);
UTL_STRING_BENCH(BM_AssignText_U16);
UTL_STRING_BENCH(BM_Append_StringC);
UTL_STRING_BENCH(BM_Append_U16);
BENCHMARK(BM_AppendTen_StringC);
BENCHMARK(BM_AppendTen_U16);
BENCHMARK(BM_AppendTenUnits_StringC);
BENCHMARK(BM_AppendTenUnits_U16);
BENCHMARK(BM_AppendOnce_StringC);
BENCHMARK(BM_AppendOnce_U16);
UTL_STRING_BENCH(BM_Mid_StringC);
UTL_STRING_BENCH(BM_Mid_U16);
UTL_STRING_BENCH(BM_Find_StringC);
UTL_STRING_BENCH(BM_Find_U16);
UTL_STRING_BENCH(BM_Compare_StringC);
UTL_STRING_BENCH(BM_Compare_U16);
UTL_STRING_BENCH(BM_Format_StringC);
UTL_STRING_BENCH(BM_Format_U16);

#ifdef UTL_HAVE_QT

// ---- The QString twins ---------------------------------------------------------------
// A text is handed over as a zero-terminated array, as to the others: QString
// counts it (fromUtf16, QStringView) where StringC and u16string do.

QString MakeQText(int length) {
    return QString::fromStdU16String(MakeText(length));
}

void BM_Construct_QString(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QString s = QString::fromUtf16(text.c_str());
        benchmark::DoNotOptimize(s);
    }
}
void BM_Copy_QString(benchmark::State& state) {
    const QString source = MakeQText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QString copy(source);
        benchmark::DoNotOptimize(copy);
    }
}
void BM_Assign_QString(benchmark::State& state) {
    const QString first = MakeQText(static_cast<int>(state.range(0)));
    const QString second = MakeQText(static_cast<int>(state.range(0)));
    QString target;
    for (auto _ : state) {
        target = first;
        benchmark::DoNotOptimize(target);
        target = second;
        benchmark::DoNotOptimize(target);
    }
}
// setUtf16 reuses the string's own buffer when it is unshared and large enough.
void BM_AssignText_QString(benchmark::State& state) {
    const std::u16string first = MakeText(static_cast<int>(state.range(0)));
    const std::u16string second = first;
    QString target;
    for (auto _ : state) {
        const char16_t* text = first.c_str();
        target.setUtf16(reinterpret_cast<const ushort*>(text),
                        static_cast<qsizetype>(std::char_traits<char16_t>::length(text)));
        benchmark::DoNotOptimize(target);
        text = second.c_str();
        target.setUtf16(reinterpret_cast<const ushort*>(text),
                        static_cast<qsizetype>(std::char_traits<char16_t>::length(text)));
        benchmark::DoNotOptimize(target);
    }
}
void BM_Append_QString(benchmark::State& state) {
    const QString base = MakeQText(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        QString s(base);
        s += QStringView(kPiece);
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendTen_QString(benchmark::State& state) {
    for (auto _ : state) {
        QString s;
        for (int i = 0; i < 10; ++i) s += QStringView(kPiece16);
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendTenUnits_QString(benchmark::State& state) {
    for (auto _ : state) {
        QString s;
        for (int i = 0; i < 10; ++i) s += QStringView(kUnit);
        benchmark::DoNotOptimize(s);
    }
}
void BM_AppendOnce_QString(benchmark::State& state) {
    for (auto _ : state) {
        QString s;
        s += QStringView(kPiece10);
        benchmark::DoNotOptimize(s);
    }
}
void BM_Mid_QString(benchmark::State& state) {
    const int length = static_cast<int>(state.range(0));
    const QString s = MakeQText(length);
    for (auto _ : state) {
        QString part = s.mid(length / 4, length / 2);
        benchmark::DoNotOptimize(part);
    }
}
void BM_Find_QString(benchmark::State& state) {
    const QString s = MakeQText(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(s.indexOf(QChar(u'#')));
}
void BM_Compare_QString(benchmark::State& state) {
    std::u16string text = MakeText(static_cast<int>(state.range(0)));
    const QString a = QString::fromStdU16String(text);
    text.back() = u'$';
    const QString b = QString::fromStdU16String(text);
    for (auto _ : state) benchmark::DoNotOptimize(a.compare(b));
}
void BM_Format_QString(benchmark::State& state) {
    const std::u16string text = MakeText(static_cast<int>(state.range(0)));
    QString s;
    int n = 0;
    for (auto _ : state) {
        s = QString::asprintf("%ls: %d", text.c_str(), ++n);
        benchmark::DoNotOptimize(s);
    }
}

UTL_STRING_BENCH(BM_Construct_QString);
UTL_STRING_BENCH(BM_Copy_QString);
UTL_STRING_BENCH(BM_Assign_QString);
UTL_STRING_BENCH(BM_AssignText_QString);
UTL_STRING_BENCH(BM_Append_QString);
BENCHMARK(BM_AppendTen_QString);
BENCHMARK(BM_AppendTenUnits_QString);
BENCHMARK(BM_AppendOnce_QString);
UTL_STRING_BENCH(BM_Mid_QString);
UTL_STRING_BENCH(BM_Find_QString);
UTL_STRING_BENCH(BM_Compare_QString);
UTL_STRING_BENCH(BM_Format_QString);

#endif  // UTL_HAVE_QT

}  // namespace

BENCHMARK_MAIN();
