// Writes the seed corpora of the fuzz targets: a few signatures of different
// sizes through each encoder, plus the odd files the encoders never write
// (a locked .vbc, a .cmp with junk before its start byte, InkML as other
// producers write it). One folder per target under the folder given on the
// command line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "sigformats/CmpFormat.h"
#include "sigformats/InkmlFormat.h"
#include "sigformats/NlcFormat.h"
#include "sigformats/SigFormat.h"
#include "sigformats/vbc/VbcFormat.h"
#include "support/SignatureSynth.h"

namespace {

namespace fs = std::filesystem;
namespace sf = vellumix::sigformats;
using Bytes = std::vector<std::uint8_t>;

struct Sample {
    const char* text;
    unsigned seed;
    std::size_t points;  // kept small: libFuzzer sizes its inputs by the seeds
};
constexpr Sample kSamples[] = {{"a", 1, 40}, {"Bo", 2, 120}, {"Ann Lee", 3, 400}};

// Prefix bytes of the --info target, in its order of formats. The round-trip
// target reads the same byte as input kind (and, divided by its number of
// kinds, output kind), so it starts from the same seeds.
constexpr std::uint8_t kInfoSig = 0, kInfoCmp = 1, kInfoVbc = 2, kInfoNlc = 3, kInfoTxt = 4;
// The round-trip target knows one kind more, .inkml, after the others.
constexpr std::uint8_t kRoundTripKinds = 6, kRoundTripInkml = 5;

// A damaged .nlc whose differences run below 0: it decodes to (-1, 262),
// which is neither ink nor a pen lift.
constexpr std::string_view kHalfLiftNlc =
    "9494949494949441949494949494949494949494564243312e320028c04800c001000109c000020011"
    "1961100000000000300286016bc5d08590c590da2f328613849528c5d08590c590459085942c3881f5"
    "07a803089504650465";

bool Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

Bytes WithPrefix(std::uint8_t prefix, const Bytes& file) {
    Bytes out{prefix};
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

Bytes TextBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes FromHex(std::string_view hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(
            static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seed_writer FOLDER\n");
        return 2;
    }
    const fs::path root = argv[1];
    for (const char* name :
         {"sig", "vbc", "nlc", "cmp", "inkml", "sigconv_info", "sigfiles_roundtrip"}) {
        fs::create_directories(root / name);
    }
    bool ok = true;
    int n = 0;
    for (const Sample& s : kSamples) {
        const auto points = vellumix::testsupport::MakeSignature(s.text, s.seed, s.points);
        const std::string id = std::to_string(n++);
        const Bytes sig = sf::EncodeSig(points).Value();
        const Bytes vbc = sf::vbc::EncodeVbc(points).Value();
        const Bytes nlc = sf::EncodeNlc(points).Value();
        const Bytes cmp = sf::EncodeCmp(points).Value();
        std::string txt;
        for (const auto& p : points) {
            txt += std::to_string(p.x) + " " + std::to_string(p.y) + "\n";
        }
        ok &= Write(root / "sig" / id, sig) && Write(root / "vbc" / id, vbc) &&
              Write(root / "nlc" / id, nlc) && Write(root / "cmp" / id, cmp);
        // Ours, with and without the T channel of a capture's times.
        std::vector<std::int64_t> times;
        for (std::size_t i = 0; i < points.size(); ++i) {
            times.push_back(static_cast<std::int64_t>(i * 1302 + i % 3));
        }
        ok &= Write(root / "inkml" / id, sf::EncodeInkml(points).Value()) &&
              Write(root / "inkml" / ("timed" + id), sf::EncodeInkml(points, times).Value());
        ok &= Write(root / "sigconv_info" / ("sig" + id), WithPrefix(kInfoSig, sig)) &&
              Write(root / "sigconv_info" / ("cmp" + id), WithPrefix(kInfoCmp, cmp)) &&
              Write(root / "sigconv_info" / ("vbc" + id), WithPrefix(kInfoVbc, vbc)) &&
              Write(root / "sigconv_info" / ("nlc" + id), WithPrefix(kInfoNlc, nlc)) &&
              Write(root / "sigconv_info" / ("txt" + id), WithPrefix(kInfoTxt, TextBytes(txt)));
    }
    // A stream locked with a key the file does not keep: the decoder's
    // unlocking and its padlock drawing.
    const auto small = vellumix::testsupport::MakeSignature("Bo", 4, 60);
    const Bytes locked = sf::vbc::EncodeVbc(small, "k=secret;e=1;n=name").Value();
    const Bytes entries = sf::vbc::EncodeVbc(small, "n=name;d=2024").Value();
    ok &= Write(root / "vbc" / "locked", locked) && Write(root / "vbc" / "entries", entries);
    ok &= Write(root / "sigconv_info" / "vbc-locked", WithPrefix(kInfoVbc, locked));
    ok &= Write(root / "vbc" / "bare-lock", TextBytes(std::string_view("VBC1.2;k\0", 9)));
    Bytes junkFirst{0x55, 0x80, 0x00};
    const Bytes cmp = sf::EncodeCmp(small).Value();
    junkFirst.insert(junkFirst.end(), cmp.begin(), cmp.end());
    ok &= Write(root / "cmp" / "junk-first", junkFirst);
    // InkML as other producers write it: contexts and traceGroups, extra
    // channels, declared ranges, differences, prefixed names, intermittent
    // channels.
    ok &= Write(root / "inkml" / "groups",
                TextBytes("<ink xmlns=\"http://www.w3.org/2003/InkML\"><definitions>"
                          "<context xml:id=\"c\"><traceFormat><channel name=\"X\" min=\"0\" "
                          "max=\"20000\"/><channel name=\"Y\" min=\"0\" max=\"10000\"/>"
                          "<channel name=\"F\"/><channel name=\"T\" units=\"s\"/>"
                          "</traceFormat></context></definitions><traceGroup contextRef=\"#c\">"
                          "<trace>0 0 12 0.5,5000 2500 40 0.501</trace><traceGroup><trace>"
                          "10000 5000 7 1</trace></traceGroup></traceGroup></ink>"));
    ok &= Write(root / "inkml" / "differences",
                TextBytes("<inkml:ink xmlns:inkml=\"http://www.w3.org/2003/InkML\">"
                          "<inkml:trace>-10 -5, '20'0, \"0\"10, 3-4</inkml:trace>"
                          "<inkml:trace>!50 15</inkml:trace></inkml:ink>"));
    ok &= Write(root / "inkml" / "intermittent",
                TextBytes("<ink xmlns=\"http://www.w3.org/2003/InkML\"><traceFormat>"
                          "<channel name=\"X\"/><channel name=\"Y\"/><intermittentChannels>"
                          "<channel name=\"P\"/></intermittentChannels></traceFormat>"
                          "<trace>1 2 *, 3 4 T, 5 6</trace></ink>"));
    // An office suite's ink part (bounds of a number type's range), hover
    // traces, hexadecimal values, signs parted from their numbers, and points
    // outside a declared range.
    const Bytes others = TextBytes(
        "<inkml:ink xmlns:inkml=\"http://www.w3.org/2003/InkML\"><inkml:definitions>"
        "<inkml:context xml:id=\"c\"><inkml:inkSource><inkml:traceFormat>"
        "<inkml:channel name=\"X\" type=\"integer\" min=\"-2.14748E9\" max=\"2.14748E9\"/>"
        "<inkml:channel name=\"Y\" type=\"integer\" min=\"-2.14748E9\" max=\"2.14748E9\"/>"
        "</inkml:traceFormat></inkml:inkSource></inkml:context></inkml:definitions>"
        "<inkml:trace contextRef=\"#c\">1000 2000, 3000 2000</inkml:trace>"
        "<inkml:trace type=\"penUp\" contextRef=\"#c\">#1A - 50</inkml:trace>"
        "<inkml:trace contextRef=\"#c\">#7D0 - 3000, '- #10 '+ 5</inkml:trace></inkml:ink>");
    const Bytes bounded = TextBytes(
        "<ink xmlns=\"http://www.w3.org/2003/InkML\"><traceFormat><channel name=\"X\" min=\"0\" "
        "max=\"100\"/><channel name=\"Y\" min=\"0\" max=\"100\"/></traceFormat>"
        "<trace>10 10, 120 20, 30 -1, 40 40</trace><trace>200 200</trace></ink>");
    ok &= Write(root / "inkml" / "others", others) && Write(root / "inkml" / "bounded", bounded);
    ok &= Write(root / "sigfiles_roundtrip" / "inkml-others",
                WithPrefix(static_cast<std::uint8_t>(kRoundTripInkml + kRoundTripKinds * kInfoTxt),
                           others)) &&
          Write(root / "sigfiles_roundtrip" / "inkml-bounded",
                WithPrefix(
                    static_cast<std::uint8_t>(kRoundTripInkml + kRoundTripKinds * kRoundTripInkml),
                    bounded));
    // Every --info seed is a round-trip seed too.
    for (const auto& entry : fs::directory_iterator(root / "sigconv_info")) {
        std::error_code ec;
        fs::copy_file(entry.path(), root / "sigfiles_roundtrip" / entry.path().filename(),
                      fs::copy_options::overwrite_existing, ec);
        ok &= !ec;
    }
    ok &= Write(root / "sigfiles_roundtrip" / "half-lift-nlc-to-txt",
                WithPrefix(static_cast<std::uint8_t>(kInfoNlc + kRoundTripKinds * kInfoTxt),
                           FromHex(kHalfLiftNlc)));
    if (!ok) {
        std::fprintf(stderr, "fuzz_seed_writer: cannot write the seeds under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
