#include "host/data/TextEncoding.h"

#include "host/core/SysUtils.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace orv {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";

// Where the declaration is and where its encoding value sits, as offsets into the text.
struct TXmlDeclaration {
    bool Found = false;
    std::size_t End = 0; // just past "?>"
    bool HasEncoding = false;
    std::size_t ValueBegin = 0;
    std::size_t ValueEnd = 0;
    std::string_view Value(std::string_view Text) const {
        return Text.substr(ValueBegin, ValueEnd - ValueBegin);
    }
};

bool IsXmlSpace(char C) {
    return C == ' ' || C == '\t' || C == '\r' || C == '\n';
}

bool IsNameChar(char C) {
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '_' ||
           C == '-' || C == '.' || C == ':';
}

// Reads the pseudo-attributes of "<?xml ... ?>". A declaration that does not follow the
// grammar is left to the XML parser to report; here it simply yields no encoding.
TXmlDeclaration FindDeclaration(std::string_view Text) {
    TXmlDeclaration D;
    std::size_t P = 0;
    while (P < Text.size() && IsXmlSpace(Text[P]))
        ++P;
    if (!SameTextAscii(Text.substr(P, 5), "<?xml") || P + 5 >= Text.size() || !IsXmlSpace(Text[P + 5]))
        return D;
    std::size_t Close = Text.find("?>", P + 5);
    if (Close == std::string_view::npos) return D;
    D.Found = true;
    D.End = Close + 2;

    P += 5;
    while (true) {
        while (P < Close && IsXmlSpace(Text[P]))
            ++P;
        std::size_t NameBegin = P;
        while (P < Close && IsNameChar(Text[P]))
            ++P;
        if (P == NameBegin) break;
        std::string_view Name = Text.substr(NameBegin, P - NameBegin);
        while (P < Close && IsXmlSpace(Text[P]))
            ++P;
        if (P >= Close || Text[P] != '=') break;
        ++P;
        while (P < Close && IsXmlSpace(Text[P]))
            ++P;
        if (P >= Close || (Text[P] != '"' && Text[P] != '\'')) break;
        char Quote = Text[P++];
        std::size_t ValueEnd = Text.find(Quote, P);
        if (ValueEnd == std::string_view::npos || ValueEnd > Close) break;
        if (SameTextAscii(Name, "encoding")) {
            D.HasEncoding = true;
            D.ValueBegin = P;
            D.ValueEnd = ValueEnd;
            break;
        }
        P = ValueEnd + 1;
    }
    return D;
}

// XML's EncName production; also keeps iconv modifiers such as "//IGNORE" out.
bool IsEncodingName(std::string_view Name) {
    if (Name.empty() || !((Name[0] >= 'A' && Name[0] <= 'Z') || (Name[0] >= 'a' && Name[0] <= 'z')))
        return false;
    for (char C : Name)
        if (!((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '.' ||
              C == '_' || C == '-'))
            return false;
    return true;
}

bool IsUtf8Name(std::string_view Name) {
    return SameTextAscii(Name, "utf-8") || SameTextAscii(Name, "utf8");
}

// The Chinese code pages all decode correctly as GB18030, which contains each of them.
bool IsChineseName(std::string_view Name) {
    for (std::string_view Alias : {"gb2312", "gbk", "gb18030", "cp936", "ms936", "windows-936", "x-gbk",
                                   "euc-cn", "csgb2312", "csgbk", "gb_2312-80"})
        if (SameTextAscii(Name, Alias)) return true;
    return false;
}

std::string HexByte(unsigned char C) {
    char Buf[8];
    std::snprintf(Buf, sizeof Buf, "0x%02X", C);
    return Buf;
}

class TIconv {
public:
    explicit TIconv(const std::string& From) : FHandle(iconv_open("UTF-8", From.c_str())) {}
    ~TIconv() {
        if (Ok()) iconv_close(FHandle);
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    bool Ok() const { return FHandle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Handle() const { return FHandle; }

private:
    iconv_t FHandle;
};

// Converts In from the encoding Charset (an iconv name) to UTF-8. Problem describes the
// input for a message ("数据包不是有效的 GB18030 文本"); Base is In's offset in the raw packet.
std::string ConvertToUtf8(std::string_view In, const std::string& Charset, std::string_view Problem,
                          std::size_t Base) {
    TIconv Cd(Charset);
    if (!Cd.Ok()) throw EConvertError(Format("数据包声明的编码“%s”无法识别。", {Charset}));

    std::string Out(In.size() + In.size() / 2 + 16, '\0');
    std::size_t Used = 0;
    char* InPtr = const_cast<char*>(In.data()); // iconv's signature; the input is not written
    std::size_t InLeft = In.size();
    bool Flushing = false;
    while (true) {
        char* OutPtr = Out.data() + Used;
        std::size_t OutLeft = Out.size() - Used;
        // Once the input is used up, one call with no input ends any shift state.
        std::size_t Rc = Flushing ? iconv(Cd.Handle(), nullptr, nullptr, &OutPtr, &OutLeft)
                                  : iconv(Cd.Handle(), &InPtr, &InLeft, &OutPtr, &OutLeft);
        Used = static_cast<std::size_t>(OutPtr - Out.data());
        if (Rc != static_cast<std::size_t>(-1)) {
            if (Flushing) break;
            Flushing = true;
            continue;
        }
        if (errno == E2BIG) {
            Out.resize(Out.size() * 2);
            continue;
        }
        std::size_t Offset = static_cast<std::size_t>(InPtr - In.data());
        if (errno == EILSEQ)
            throw EConvertError(Format(
                "%s：字节偏移 %s 处的字节 %s 无法解码。",
                {Problem, std::to_string(Base + Offset), HexByte(static_cast<unsigned char>(In[Offset]))}));
        if (errno == EINVAL)
            throw EConvertError(Format("%s：字节偏移 %s 处的字符不完整，数据可能被截断。",
                                       {Problem, std::to_string(Base + Offset)}));
        throw EConvertError(Format("%s：转换失败（错误码 %s）。", {Problem, std::to_string(errno)}));
    }
    Out.resize(Used);
    return Out;
}

// The declaration itself must read the same in the declared encoding as in ASCII, or the
// declaration could not have been found in the first place and the packet is not text we
// can parse (UTF-16, UTF-32, EBCDIC...).
void CheckAsciiCompatible(std::string_view Declaration, const std::string& Charset) {
    std::string Decoded;
    try {
        Decoded = ConvertToUtf8(Declaration, Charset, "", 0);
    } catch (const EConvertError&) {
    }
    if (Decoded != Declaration)
        throw EConvertError(Format("数据包声明的编码“%s”不能用于数据包：它与 ASCII 不兼容。", {Charset}));
}

std::string WithUtf8Declaration(std::string Text) {
    TXmlDeclaration D = FindDeclaration(Text);
    if (D.HasEncoding) Text.replace(D.ValueBegin, D.ValueEnd - D.ValueBegin, "UTF-8");
    return Text;
}

} // namespace

std::string DecodePacketBytes(std::string_view Raw) {
    if (Raw.starts_with("\xFF\xFE") || Raw.starts_with("\xFE\xFF"))
        throw EConvertError("不支持 UTF-16 或 UTF-32 编码的数据包，请使用 UTF-8 或 GB18030。");
    const bool Bom = Raw.starts_with(Utf8Bom);
    const std::size_t Base = Bom ? Utf8Bom.size() : 0;
    const std::string_view Text = Raw.substr(Base);

    const TXmlDeclaration D = FindDeclaration(Text);
    const std::string Declared = D.HasEncoding ? Trim(D.Value(Text)) : std::string();
    if (D.HasEncoding && !IsEncodingName(Declared))
        throw EConvertError(Format("数据包声明的编码名称“%s”无效。", {Declared}));

    if (Bom && !Declared.empty() && !IsUtf8Name(Declared))
        throw EConvertError(Format("数据包以 UTF-8 字节顺序标记开头，却声明了编码“%s”。", {Declared}));

    if (Bom || IsUtf8Name(Declared)) {
        std::size_t Bad = FirstInvalidUtf8(Text);
        if (Bad != std::string_view::npos)
            throw EConvertError(
                Format("数据包声明为 UTF-8，但字节偏移 %s 处的字节 %s 不是有效的 UTF-8。",
                       {std::to_string(Base + Bad), HexByte(static_cast<unsigned char>(Text[Bad]))}));
        return std::string(Text);
    }

    if (Declared.empty()) {
        if (FirstInvalidUtf8(Text) == std::string_view::npos) return std::string(Text);
        return ConvertToUtf8(Text, "GB18030",
                             "数据包未声明编码，且既不是有效的 UTF-8 也不是有效的 GB18030 文本", Base);
    }

    if (IsChineseName(Declared))
        return WithUtf8Declaration(
            ConvertToUtf8(Text, "GB18030", Format("数据包不是有效的 %s 文本", {Declared}), Base));

    {
        TIconv Probe(Declared);
        if (!Probe.Ok()) throw EConvertError(Format("数据包声明的编码“%s”无法识别。", {Declared}));
    }
    CheckAsciiCompatible(Text.substr(0, D.End), Declared);
    return WithUtf8Declaration(
        ConvertToUtf8(Text, Declared, Format("数据包不是有效的 %s 文本", {Declared}), Base));
}

} // namespace orv
