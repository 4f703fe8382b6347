#include "host/core/SysUtils.h"

namespace orv {

void Abort() { throw EAbort(); }

std::string Format(std::string_view Pattern, std::initializer_list<std::string_view> Args) {
    std::string Out;
    Out.reserve(Pattern.size() + 32);
    auto Next = Args.begin();
    for (std::size_t I = 0; I < Pattern.size(); ++I) {
        char C = Pattern[I];
        if (C == '%' && I + 1 < Pattern.size()) {
            char D = Pattern[I + 1];
            if (D == '%') {
                Out += '%';
                ++I;
                continue;
            }
            if (D == 's' && Next != Args.end()) {
                Out.append(*Next++);
                ++I;
                continue;
            }
        }
        Out += C;
    }
    return Out;
}

std::size_t FirstInvalidUtf8(std::string_view Text) {
    const auto* Begin = reinterpret_cast<const unsigned char*>(Text.data());
    const auto* P = Begin;
    const auto* End = Begin + Text.size();
    while (P < End) {
        unsigned char C = *P;
        if (C < 0x80) {
            ++P;
            continue;
        }
        int Extra;
        unsigned char Lo = 0x80, Hi = 0xBF; // allowed range of the second byte
        if (C >= 0xC2 && C <= 0xDF) {
            Extra = 1;
        } else if (C >= 0xE0 && C <= 0xEF) {
            Extra = 2;
            if (C == 0xE0) Lo = 0xA0;
            if (C == 0xED) Hi = 0x9F;
        } else if (C >= 0xF0 && C <= 0xF4) {
            Extra = 3;
            if (C == 0xF0) Lo = 0x90;
            if (C == 0xF4) Hi = 0x8F;
        } else {
            return static_cast<std::size_t>(P - Begin);
        }
        if (End - P <= Extra || P[1] < Lo || P[1] > Hi) return static_cast<std::size_t>(P - Begin);
        for (int K = 2; K <= Extra; ++K)
            if ((P[K] & 0xC0) != 0x80) return static_cast<std::size_t>(P - Begin);
        P += Extra + 1;
    }
    return std::string_view::npos;
}

bool IsValidUtf8(std::string_view Text) { return FirstInvalidUtf8(Text) == std::string_view::npos; }

std::size_t Utf8Length(std::string_view Text) {
    std::size_t N = 0;
    for (unsigned char C : Text)
        if ((C & 0xC0) != 0x80) ++N;
    return N;
}

std::string AnsiUpperAscii(std::string_view Text) {
    std::string Out(Text);
    for (char& C : Out)
        if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 'a' + 'A');
    return Out;
}

std::string LowerAscii(std::string_view Text) {
    std::string Out(Text);
    for (char& C : Out)
        if (C >= 'A' && C <= 'Z') C = static_cast<char>(C - 'A' + 'a');
    return Out;
}

bool SameTextAscii(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t I = 0; I < A.size(); ++I) {
        char X = A[I], Y = B[I];
        if (X >= 'A' && X <= 'Z') X = static_cast<char>(X - 'A' + 'a');
        if (Y >= 'A' && Y <= 'Z') Y = static_cast<char>(Y - 'A' + 'a');
        if (X != Y) return false;
    }
    return true;
}

std::string Trim(std::string_view Text) {
    std::size_t B = 0, E = Text.size();
    while (B < E && (Text[B] == ' ' || Text[B] == '\t' || Text[B] == '\r' || Text[B] == '\n')) ++B;
    while (E > B && (Text[E - 1] == ' ' || Text[E - 1] == '\t' || Text[E - 1] == '\r' || Text[E - 1] == '\n')) --E;
    return std::string(Text.substr(B, E - B));
}

std::vector<std::string> SplitFieldNames(std::string_view List) {
    std::vector<std::string> Out;
    std::size_t Start = 0;
    while (Start <= List.size()) {
        std::size_t Semi = List.find(';', Start);
        if (Semi == std::string_view::npos) Semi = List.size();
        std::string Name = Trim(List.substr(Start, Semi - Start));
        if (!Name.empty()) Out.push_back(std::move(Name));
        Start = Semi + 1;
    }
    return Out;
}

} // namespace orv
