// orvpacket: support tool for XML data packets and packed packet text.
//
//   orvpacket unpack FILE                          packed text -> XML on stdout
//   orvpacket pack [--compress] [--checksum] FILE  XML (any bytes) -> packed text on stdout
//   orvpacket check FILE                           loads a packet, prints fields, rows, changes
//   orvpacket copy IN OUT                          loads a packet and writes it back out
//
// "-" as FILE or IN is standard input, as OUT standard output. Exit status: 0 done,
// 1 the data was refused (message on stderr), 2 wrong usage.
#include "host/data/ClientDataSet.h"
#include "host/services/OrvPack.h"

#include "host/core/SysUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

using namespace orv;

namespace {

constexpr const char* Usage =
    "usage: orvpacket unpack FILE\n"
    "       orvpacket pack [--compress] [--checksum] FILE\n"
    "       orvpacket check FILE\n"
    "       orvpacket copy IN OUT\n"
    "FILE, IN: a path, or - for standard input; OUT: a path, or - for standard output.\n";

int UsageError(const std::string& Why) {
    std::cerr << "orvpacket: " << Why << '\n' << Usage;
    return 2;
}

std::string ReadAll(const std::string& Path) {
    std::FILE* F = Path == "-" ? stdin : std::fopen(Path.c_str(), "rb");
    if (!F) throw Exception(Path + ": " + std::strerror(errno));
    std::string Bytes;
    char Buf[65536];
    std::size_t N;
    while ((N = std::fread(Buf, 1, sizeof Buf, F)) > 0)
        Bytes.append(Buf, N);
    const bool Failed = std::ferror(F) != 0;
    if (F != stdin) std::fclose(F);
    if (Failed) throw Exception(Path + ": read error");
    return Bytes;
}

void WriteAll(const std::string& Path, std::string_view Bytes) {
    std::FILE* F = Path == "-" ? stdout : std::fopen(Path.c_str(), "wb");
    if (!F) throw Exception(Path + ": " + std::strerror(errno));
    bool Ok = std::fwrite(Bytes.data(), 1, Bytes.size(), F) == Bytes.size();
    Ok = (F == stdout ? std::fflush(F) == 0 : std::fclose(F) == 0) && Ok;
    if (!Ok) throw Exception(Path + ": write error");
}

// Packed text is one line; a file holding it normally ends with a line break (ours do).
std::string_view WithoutTrailingLineBreaks(std::string_view Text) {
    while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r'))
        Text.remove_suffix(1);
    return Text;
}

int Unpack(const std::vector<std::string>& Args) {
    if (Args.size() != 1) return UsageError("unpack takes one FILE");
    WriteAll("-", OrvUnpack(WithoutTrailingLineBreaks(ReadAll(Args[0]))));
    return 0;
}

int Pack(const std::vector<std::string>& Args) {
    TOrvPackOptions Options;
    std::vector<std::string> Files;
    for (const auto& A : Args) {
        if (A == "--compress")
            Options.Include(TOrvPackOption::poCompress);
        else if (A == "--checksum")
            Options.Include(TOrvPackOption::poChecksum);
        else if (A.size() > 1 && A[0] == '-')
            return UsageError("unknown option " + A);
        else
            Files.push_back(A);
    }
    if (Files.size() != 1) return UsageError("pack takes one FILE");
    WriteAll("-", OrvPack(ReadAll(Files[0]), Options) + "\n");
    return 0;
}

int Check(const std::vector<std::string>& Args) {
    if (Args.size() != 1) return UsageError("check takes one FILE");
    TOrvClientDataSet Data(nullptr);
    Data.SetXMLData(ReadAll(Args[0]));
    std::string Out;
    for (int I = 0; I < Data.FieldCount(); ++I)
        Out += Data.Fields(I)->FieldName() + " " + Data.Fields(I)->PacketTypeName() + "\n";
    Out += "rows: " + std::to_string(Data.RecordCount()) + "\n";
    Out += "changes: " + std::to_string(Data.GetChangeCount()) + "\n";
    WriteAll("-", Out);
    return 0;
}

int Copy(const std::vector<std::string>& Args) {
    if (Args.size() != 2) return UsageError("copy takes IN and OUT");
    TOrvClientDataSet Data(nullptr);
    Data.SetXMLData(ReadAll(Args[0]));
    WriteAll(Args[1], Data.GetXMLData());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> Args(argv + 1, argv + argc);
    if (Args.empty()) return UsageError("no command given");
    const std::string Command = Args.front();
    Args.erase(Args.begin());
    if (Command == "-h" || Command == "--help" || Command == "help") {
        std::cout << Usage;
        return 0;
    }
    try {
        if (Command == "unpack") return Unpack(Args);
        if (Command == "pack") return Pack(Args);
        if (Command == "check") return Check(Args);
        if (Command == "copy") return Copy(Args);
        return UsageError("unknown command " + Command);
    } catch (const std::exception& E) {
        std::cerr << "orvpacket: " << E.what() << '\n';
        return 1;
    }
}
