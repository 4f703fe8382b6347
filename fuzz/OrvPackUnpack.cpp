// Any text given to OrvUnpack is either refused with EConvertError or gives back bytes
// that pack to the same header and, but for the zlib stream other producers may write
// differently, to the same text. Any bytes, packed with any options, unpack to themselves.
#include "fuzz/FuzzSupport.h"
#include "host/services/OrvPack.h"

using namespace orv;

namespace {

const TOrvPackOptions AllOptions[] = {
    {},
    {TOrvPackOption::poCompress},
    {TOrvPackOption::poChecksum},
    {TOrvPackOption::poCompress, TOrvPackOption::poChecksum},
};

// The header up to and including the colon before the payload.
std::string HeaderOf(const std::string& Packed) {
    std::size_t Colon = Packed.find(':');
    for (int I = 0; I < 2 && Colon != std::string::npos; ++I)
        Colon = Packed.find(':', Colon + 1);
    return Colon == std::string::npos ? Packed : Packed.substr(0, Colon + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string Input(reinterpret_cast<const char*>(Data), Size);

    std::string Text;
    if (fuzz::Accepted([&] { Text = OrvUnpack(Input); })) {
        // An accepted text has passed the header checks, so its option digit is 0..3.
        const TOrvPackOptions Options = AllOptions[Input[6] - '0'];
        const std::string Repacked = OrvPack(Text, Options);
        if (Options.Contains(TOrvPackOption::poCompress))
            fuzz::Expect(HeaderOf(Repacked) == HeaderOf(Input), "repacking gives the same header",
                         Input + "\n---- repacked:\n" + Repacked);
        else
            fuzz::Expect(Repacked == Input, "an uncompressed packed text is the only one for its bytes",
                         Input + "\n---- repacked:\n" + Repacked);
    }

    for (const TOrvPackOptions& Options : AllOptions) {
        std::string Back;
        const std::string Packed = OrvPack(Input, Options);
        if (!fuzz::Accepted([&] { Back = OrvUnpack(Packed); })) fuzz::Broken("a packed text unpacks", Packed);
        fuzz::Expect(Back == Input, "unpacking gives back the bytes that were packed", Packed);
    }
    return 0;
}
