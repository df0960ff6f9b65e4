// Built against UTL (an installed package, or UTL's tree in the same build):
// headers, libraries, their run paths and the package files are complete when
// this formats, logs, turns a null write into a report and an exception, and
// exits 0.
#include <UTL/UTL.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

// Counts what reaches it and prints it.
class CountingSink : public UTL::LogSinkI {
public:
    explicit CountingSink(int& count) : m_count(count) {}
    void LogMessage(const char*, int, unsigned long, const char* text) const override {
        std::printf("logged: %s\n", text);
        ++m_count;
    }

private:
    int& m_count;
};

// A write through a pointer that turned out null, called through a pointer so
// that every compiler keeps the catch around it.
__attribute__((noinline)) void Store(int* volatile* slot) {
    **slot = 42;
}
void (*volatile g_store)(int* volatile*) = Store;

// True when a guarded null write is caught and its report names the fault.
bool CatchesANullWrite() {
    ExceptionHandlerC guard;
    try {
        int* volatile reading = nullptr;
        g_store(&reading);
        return false;
    } catch (const ExceptionHandlerC&) {
    }
    std::ifstream file(CExceptionLog::GetLogfileName());
    std::stringstream report;
    report << file.rdbuf();
    std::printf("null write caught, report %s\n", CExceptionLog::GetLogfileName());
    std::remove(CExceptionLog::GetLogfileName());
    return report.str().find("ACCESS_VIOLATION") != std::string::npos;
}

}  // namespace

int main() {
    char16_t wide[64];
    lswprintf(wide, u"UTL %d.%d.%d: %s", UTL_VERSION_MAJOR, UTL_VERSION_MINOR, UTL_VERSION_PATCH,
              u"in use");
    const StringC text(wide);
    char narrow[64];
    UTL::UnicodeToAscii(narrow, sizeof narrow, text);
    std::printf("%s, %d code units, loaded %s\n", narrow, text.GetLength(), UTL::LoadSequence());

    int logged = 0;
    UTL::LogManagementC::AddSink(std::make_unique<CountingSink>(logged));
    UTL::LogManagementC::Log(__FILE__, __LINE__, UTL::LogSinkI::LOG_AppMessage, "station %s",
                             "P12");
    UTL::LogManagementC::Cleanup();  // delivers what is queued, destroys the sink

    // The crash reporter finds its debugging-help plugin wherever the libraries
    // are: it names the source file, or else the function, of an address in
    // libutl (the plugin reads them with libdw1).
    char symbol[513] = "";
    IMAGEHLP_LINE line{};
    line.SizeOfStruct = sizeof line;
    line.FileName = symbol;
    unsigned long section = 0;
    unsigned long offset = 0;
    const int found = CExceptionParse::GetLineAndFileFromPointer(
        reinterpret_cast<unsigned long>(&UTL::LoadSequence), &line, section, offset);
    std::printf("symbol search: %s\n",
                found ? symbol : "unavailable (debugging-help plugin or libdw1 missing)");

    const bool caught = CatchesANullWrite();
    return found && text.Find(u'i') > 0 && logged == 1 && caught ? 0 : 1;
}
