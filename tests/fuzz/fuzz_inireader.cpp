// libFuzzer entry point for the INI reader. tests/CMakeLists.txt builds it with clang and runs
// it briefly as the test fuzz_inireader; for a longer hunt, run the built program without -runs.
//
// Input layout: byte 0 is the size, bytes 1 and 2 the lengths of the section and key names that
// follow; the rest is the INI text. Short names make matches, and so the deep paths, likely.

#include "startup/inireader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int wanted = static_cast<int8_t>(data[0]);
    const size_t sectionLength = data[1] % 8;
    const size_t keyLength = data[2] % 8;
    if (size < 3 + sectionLength + keyLength)
        return 0;
    const char* bytes = reinterpret_cast<const char*>(data);
    const QByteArrayView section(bytes + 3, static_cast<qsizetype>(sectionLength));
    const QByteArrayView key(section.end(), static_cast<qsizetype>(keyLength));
    const QByteArrayView text(key.end(),
                              static_cast<qsizetype>(size - 3 - sectionLength - keyLength));

    const std::optional<QByteArray> value = tikvor::iniValue(text, section, key);
    if (value && (value->size() > text.size() || value->contains('\n') || value->contains('\r') ||
                  value->contains('\0')))
        __builtin_trap();

    const QString result =
        tikvor::readProfileString(text, QString::fromLatin1(section), QString::fromLatin1(key),
                                  QStringLiteral("default"), wanted);
    if (result.size() > (wanted > 0 ? wanted - 1 : 0))
        __builtin_trap();
    return 0;
}
