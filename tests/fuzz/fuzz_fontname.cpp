// A font name as a cache file name gives it. Whatever parses must give a
// canonical name that parses to the same description again.

#include <dorurizar/unifontmap.h>

#include <algorithm>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<char const*>(data), std::min<size_t>(size, 512));  // ends at a NUL
    const cFontInfo info(name.c_str()), again(info.mName.toLatin1().constData());
    if (!info.mName.isEmpty()
        && (again.mName != info.mName || again.mFamily != info.mFamily || again.mFontSize != info.mFontSize
            || again.mWeight != info.mWeight || again.mBorder != info.mBorder || again.mColor != info.mColor
            || again.mBorderColor != info.mBorderColor))
        qFatal("'%s' gives '%s', which gives '%s'", name.c_str(), qPrintable(info.mName), qPrintable(again.mName));
    return 0;
}
