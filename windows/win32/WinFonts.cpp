#include "windows/win32/WinFonts.h"

#include <map>

#include "platform/win32/Text.h"
#include "windows/win32/DeviceContext.h"

namespace tarn::win {

namespace {

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;  // one is enough
}

bool FaceExists(const std::wstring& face) {
    if (face.empty() || face.size() >= LF_FACESIZE) return false;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    face.copy(wanted.lfFaceName, face.size());
    bool found = false;
    const WindowDc screen(nullptr);
    if (!screen) return false;
    ::EnumFontFamiliesExW(screen.get(), &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Fonts do not come and go while the program runs; ask once per face. Only
// the window thread makes fonts.
std::map<std::string, std::wstring> chosenFaces;

}  // namespace

std::wstring AvailableFace(const design::Font& font) {
    if (auto it = chosenFaces.find(font.face); it != chosenFaces.end()) return it->second;
    std::wstring result;
    for (const std::wstring& candidate : {text::Widen(font.face), std::wstring(L"Microsoft JhengHei"),
                                          std::wstring(L"PMingLiU"), std::wstring(L"新細明體")}) {
        if (FaceExists(candidate)) {
            result = candidate;
            break;
        }
    }
    chosenFaces.emplace(font.face, result);
    return result;
}

FontHandle MakeFont(const design::Font& font, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = design::FontHeight(font.points, dpi);
    lf.lfWeight = font.weight;
    lf.lfCharSet = static_cast<BYTE>(font.charset);
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    const std::wstring face = AvailableFace(font);
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    return FontHandle(::CreateFontIndirectW(&lf));
}

}  // namespace tarn::win
