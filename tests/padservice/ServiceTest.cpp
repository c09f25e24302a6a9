// The capture service's bus side against scripted pads, each test on a
// private bus: the claim and its end (Release, the holder's exit and kill
// -9), capture through Points and StopCapture, bad arguments, a holder that
// never reads, calls that take long, the idle exit, and the interface
// against its checked-in description. A lost pad and its return are
// ServicePadTest's, on the real pad side.
#include <gtest/gtest.h>

#include <expat.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sdbus-c++/sdbus-c++.h>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "FakeSession.h"
#include "ServiceRig.h"
#include "padlink/PadProtocol.h"
#include "padservice/PointsFlow.h"
#include "sigformats/InkmlFormat.h"
#include "support/TempDir.h"

namespace vellumix::padservice::test {
namespace {

using Clock = std::chrono::steady_clock;
using sigformats::SignaturePoint;

struct Received {
    std::vector<ReceivedPoint> points;
    void Into(ServiceClient& client, const std::string& path) {
        client.OnPoints(path, [this](const std::vector<ReceivedPoint>& batch) {
            points.insert(points.end(), batch.begin(), batch.end());
        });
    }
};

// ---- The claim --------------------------------------------------------------

TEST(PadServiceClaim, OneHolderAtATimeAndEveryCallButClaimNeedsTheClaim) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string path = rig.Appear("COM1");
    ASSERT_EQ(path, std::string(kPadPathPrefix) + "COM1");
    ServiceClient a(rig.Address());
    ServiceClient b(rig.Address());
    EXPECT_EQ(a.PadPaths(), std::vector<std::string>{path});
    PadInfo info = b.Pad(path);
    EXPECT_EQ(info.port, "COM1");
    EXPECT_EQ(info.transport, "serial");
    EXPECT_FALSE(info.connected);
    EXPECT_EQ(info.claimedBy, "");
    EXPECT_FALSE(pads.Pad("COM1")->Open()) << "opened before any claim";

    EXPECT_EQ(ErrorOf([&] { a.Clear(path); }), error::kNotClaimed);
    a.Claim(path);
    a.Claim(path);  // holding it already
    info = b.Pad(path);
    EXPECT_TRUE(info.connected);
    EXPECT_EQ(info.claimedBy, a.UniqueName());

    std::string why;
    EXPECT_EQ(ErrorOf([&] { b.Claim(path); }, &why), error::kBusy);
    EXPECT_NE(why.find(a.UniqueName()), std::string::npos) << why;
    EXPECT_NE(why.find("pid " + std::to_string(::getpid())), std::string::npos) << why;
    EXPECT_EQ(ErrorOf([&] { b.ShowText(path, 1, 1, "x"); }), error::kNotClaimed);
    EXPECT_EQ(ErrorOf([&] { b.Release(path); }), error::kNotClaimed);

    a.Release(path);
    EXPECT_EQ(b.Pad(path).claimedBy, "");
    EXPECT_FALSE(pads.Pad("COM1")->Open());
    b.Claim(path);
    EXPECT_EQ(b.Pad(path).claimedBy, b.UniqueName());

    // A device that goes while claimed stays listed until the claim ends.
    rig.Vanish("COM1");
    EXPECT_EQ(a.PadPaths(), std::vector<std::string>{path});
    b.Release(path);
    EXPECT_TRUE(Eventually(a, [&] { return a.PadPaths().empty(); }));
}

TEST(PadServiceClaim, AClaimFailsWithTheReasonWhenThePadCannotBeHad) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string path = rig.Appear("COM2");
    ServiceClient a(rig.Address());
    const struct {
        OpenError open;
        const char* error;
    } cases[] = {{OpenError::kNoAnswer, error::kNoAnswer}, {OpenError::kBusy, error::kBusy}};
    for (const auto& c : cases) {
        pads.Pad("COM2")->SetOpen({c.open, "why it failed"});
        std::string why;
        EXPECT_EQ(ErrorOf([&] { a.Claim(path); }, &why), c.error);
        EXPECT_EQ(why, "why it failed");
        EXPECT_EQ(a.Pad(path).claimedBy, "");
    }
    pads.Pad("COM2")->SetOpen({});
    a.Claim(path);
}

// The holder as a process of its own: the claim ends when it exits or is
// killed, and the calls it left queued are not run for nobody.
pid_t SpawnHolder(const std::string& address, const std::string& path, const char* mode) {
    const testsupport::Spawned holder =
        testsupport::SpawnReadingFirstLine({VELLUMIX_TEST_HOLDER, address, path, mode});
    EXPECT_EQ(holder.firstLine, "claimed");
    return holder.pid;
}

TEST(PadServiceClaim, AClaimEndsWithinASecondWhenItsHolderExitsOrIsKilled) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string path = rig.Appear("COM3");
    ServiceClient watcher(rig.Address());
    for (const char* mode : {"exit", "wait"}) {
        SCOPED_TRACE(mode);
        // Three Clears queued by the "wait" holder, the first one running.
        pads.Pad("COM3")->SetCallTime(std::chrono::milliseconds{600});
        const pid_t holder = SpawnHolder(rig.Address(), path, mode);
        ASSERT_GT(holder, 0);
        const auto killed = Clock::now();
        if (std::string(mode) == "wait") {
            ::kill(holder, SIGKILL);
        }
        int status = 0;
        ::waitpid(holder, &status, 0);
        EXPECT_TRUE(Eventually(watcher, [&] { return watcher.Pad(path).claimedBy.empty(); }));
        EXPECT_LT(Clock::now() - killed, 1s);
        const auto log = pads.Pad("COM3")->Log();
        EXPECT_LE(std::count(log.begin(), log.end(), "Clear"), 1);
        EXPECT_EQ(log.back(), "Close");
        watcher.Claim(path);
        watcher.Release(path);
    }
}

// ---- Capture ------------------------------------------------------------------

TEST(PadServiceCapture, PointsGoToTheHolderAloneAndStopCaptureReturnsThemAll) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string path = rig.Appear("COM1");
    const auto pad = pads.Pad("COM1");
    ServiceClient holder(rig.Address());
    ServiceClient other(rig.Address());
    Received got;
    Received overheard;
    got.Into(holder, path);
    overheard.Into(other, path);

    holder.Claim(path);
    holder.StartCapture(path, "Sign here", true);
    EXPECT_EQ(pad->Log().back(), "StartCapture 'Sign here' clear");
    const std::vector<std::vector<SignaturePoint>> reads = {
        {{10, 20}, {11, 21}}, {{12, 22}, sigformats::PEN_UP_POINT}, {{1023, 0}}};
    for (const auto& read : reads) {
        pad->Push(read);
        rig.OnLoop([](Service&) {});
    }
    ASSERT_TRUE(Eventually(holder, [&] { return got.points.size() == 5; }));

    // What StopCapture returns is what came through Points, times and all.
    const std::string inkml = holder.StopCapture(path);
    EXPECT_EQ(pad->Log().back(), "StopCapture");
    const sigformats::Decoded result = sigformats::DecodeInkml(
        std::span(reinterpret_cast<const std::uint8_t*>(inkml.data()), inkml.size()));
    ASSERT_TRUE(result.Ok()) << result.Error().message;
    const sigformats::DecodedSignature& decoded = result.Value();
    const SignaturePoint U = sigformats::PEN_UP_POINT;
    EXPECT_EQ(decoded.points,
              (std::vector<SignaturePoint>{{10, 20}, {11, 21}, {12, 22}, U, {1023, 0}, U}));
    ASSERT_EQ(decoded.times.size(), 6u);
    for (std::size_t i = 0; i < got.points.size(); ++i) {
        const ReceivedPoint& p = got.points[i];
        EXPECT_EQ((p.down ? SignaturePoint{p.x, p.y} : U), decoded.points[i]) << i;
        EXPECT_EQ(decoded.times[i], std::llround(p.ms * 1000)) << i;
        EXPECT_GE(p.ms, i == 0 ? 0.0 : got.points[i - 1].ms) << i;
    }
    EXPECT_EQ(inkml.find(sigformats::inkml::kCutShortText), std::string::npos);
    other.Process(100ms);
    EXPECT_TRUE(overheard.points.empty()) << "a signature went to another client";
    EXPECT_EQ(ErrorOf([&] { holder.StopCapture(path); }), error::kBadArgument);
}

TEST(PadServiceCapture, AHolderThatNeverReadsHoldsUpNobodyAndLosesNothing) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string stuckPath = rig.Appear("COM1");
    const std::string livePath = rig.Appear("COM2");
    ServiceClient stuck(rig.Address());
    ServiceClient live(rig.Address());
    Received stuckGot;
    Received liveGot;
    stuckGot.Into(stuck, stuckPath);
    liveGot.Into(live, livePath);
    stuck.Claim(stuckPath);
    stuck.StartCapture(stuckPath);
    live.Claim(livePath);
    live.StartCapture(livePath);

    // The stuck holder processes nothing from here on: no signal read, no
    // ping answered.
    constexpr int kReads = 1000;
    for (int i = 0; i < kReads; ++i) {
        pads.Pad("COM1")->Push({{i, 0}});
        rig.OnLoop([](Service&) {});  // one read, one signal
        EXPECT_LE(rig.UnreadSignals(stuckPath), kMaxUnread);
    }
    EXPECT_EQ(rig.UnreadSignals(stuckPath), kMaxUnread);

    const auto start = Clock::now();
    pads.Pad("COM2")->Push({{7, 7}});
    ASSERT_TRUE(Eventually(live, [&] { return liveGot.points.size() == 1; }));
    live.Clear(livePath);
    EXPECT_LT(Clock::now() - start, 500ms);

    // Reading at last, it gets every point in order.
    ASSERT_TRUE(Eventually(
        stuck, [&] { return stuckGot.points.size() == kReads; }, 5s));
    for (int i = 0; i < kReads; ++i) {
        ASSERT_EQ(stuckGot.points[static_cast<std::size_t>(i)].x, i);
    }
}

// ---- Arguments and long calls ----------------------------------------------------

TEST(PadServiceCalls, BadArgumentsAreRefusedSayingWhichBeforeThePadIsTouched) {
    FakeFactory pads;
    testsupport::TempDir dir;
    ServiceRig rig(pads, ServiceRig::QuickOptions(),
                   [](std::span<const std::uint8_t> bytes) -> PixelsResult {
                       if (bytes.empty()) {
                           return {{}, "not a picture that can be read"};
                       }
                       return {std::vector<std::uint8_t>(padlink::kImageBytes), {}};
                   });
    const std::string path = rig.Appear("COM1");
    // A connection of its own, so that a call can carry any argument.
    auto connection = sdbus::createSessionBusConnectionWithAddress(rig.Address());
    auto raw = sdbus::createProxy(*connection, kBusName, path);
    raw->callMethod(pad::kClaim).onInterface(kPadInterface);
    const auto call = [&](const char* method, auto... args) {
        raw->callMethod(method).onInterface(kPadInterface).withArguments(args...);
    };
    testsupport::WriteFile(dir / "empty.png", "");
    const sdbus::UnixFd empty(::open((dir / "empty.png").c_str(), O_RDONLY), sdbus::adopt_fd);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const sdbus::UnixFd reader(pipe[0], sdbus::adopt_fd);
    const sdbus::UnixFd writer(pipe[1], sdbus::adopt_fd);
    using Options = std::map<std::string, sdbus::Variant>;
    const struct {
        std::function<void()> call;
        const char* says;
    } cases[] = {
        {[&] { call(pad::kShowText, 320, 0, std::string("hi")); }, "x 320 is outside 0..319"},
        {[&] { call(pad::kShowText, 0, -1, std::string("hi")); }, "y -1 is outside 0..239"},
        {[&] { call(pad::kShowText, 0, 0, std::string()); }, "no text"},
        {[&] { call(pad::kSetLeds, std::string("blue")); }, "'blue' is not on, off, green or red"},
        {[&] {
             call(pad::kStartCapture, Options{{"promt", sdbus::Variant(std::string("x"))}});
         },
         "unknown option 'promt'"},
        {[&] {
             call(pad::kStartCapture, Options{{"clear", sdbus::Variant(1)}});
         },
         "'clear' takes type 'b', not 'i'"},
        {[&] { call(pad::kShowImage, reader); }, "pipe (FIFO)"},
        {[&] { call(pad::kShowImage, empty); }, "not a picture"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        try {
            c.call();
            ADD_FAILURE() << "accepted";
        } catch (const sdbus::Error& e) {
            EXPECT_EQ(e.getName(), error::kBadArgument);
            EXPECT_NE(e.getMessage().find(c.says), std::string::npos) << e.getMessage();
        }
    }
    const auto log = pads.Pad("COM1")->Log();
    EXPECT_TRUE(std::all_of(log.begin(), log.end(), [](const std::string& line) {
        return line == "Open" || line == "Close";
    })) << "the pad was sent something";
}

TEST(PadServiceCalls, ALongCallHoldsUpOnlyItsOwnPadAndItsQueueIsBounded) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string slowPath = rig.Appear("COM1");
    const std::string fastPath = rig.Appear("COM2");
    pads.Pad("COM1")->SetCallTime(std::chrono::milliseconds{50});
    ServiceClient fast(rig.Address());
    fast.Claim(fastPath);

    auto connection = sdbus::createSessionBusConnectionWithAddress(rig.Address());
    auto slow = sdbus::createProxy(*connection, kBusName, slowPath);
    slow->callMethod(pad::kClaim).onInterface(kPadInterface);
    constexpr int kCalls = 40;
    int answered = 0;
    int refused = 0;
    std::vector<sdbus::PendingAsyncCall> calls;
    for (int i = 0; i < kCalls; ++i) {
        calls.push_back(slow->callMethodAsync(pad::kClear)
                            .onInterface(kPadInterface)
                            .uponReplyInvoke([&](const sdbus::Error* e) {
                                ++(e == nullptr ? answered : refused);
                                if (e != nullptr) {
                                    EXPECT_EQ(e->getName(), error::kLimitsExceeded);
                                }
                            }));
    }
    while (connection->processPendingRequest()) {
    }
    // The slow pad is busy for most of a second; the other answers at once.
    const auto start = Clock::now();
    fast.Clear(fastPath);
    EXPECT_LT(Clock::now() - start, 200ms);
    const auto end = Clock::now() + 5s;
    while (answered + refused < kCalls && Clock::now() < end) {
        const auto data = connection->getEventLoopPollData();
        pollfd fd{data.fd, data.events, 0};
        ::poll(&fd, 1, 50);
        while (connection->processPendingRequest()) {
        }
    }
    EXPECT_EQ(answered + refused, kCalls);
    EXPECT_GE(answered, static_cast<int>(kMaxQueuedCalls));
    EXPECT_LE(answered, static_cast<int>(kMaxQueuedCalls) + 1);  // + the one running
}

// ---- Idle exit -------------------------------------------------------------------

TEST(PadServiceIdle, TheServiceIsIdleAfterAQuietWhileWithNoClaimAndOnlyThen) {
    FakeFactory pads;
    ServiceOptions options = ServiceRig::QuickOptions();
    options.idleExit = 300ms;
    ServiceRig rig(pads, options);
    const std::string path = rig.Appear("COM1");
    ServiceClient client(rig.Address());
    client.Claim(path);
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(rig.Idle()) << "idle while a pad is claimed";
    client.Release(path);
    const auto released = Clock::now();
    ASSERT_TRUE(Eventually(client, [&] { return rig.Idle(); }));
    EXPECT_GE(Clock::now() - released, 250ms);
}

// ---- The interface as described ---------------------------------------------------

// "Interface.Member(in)(out)", "Interface.Signal(args)" and "Interface.Property
// type access" for the service's own interfaces in an introspection document.
std::set<std::string> Members(const std::string& xml) {
    struct State {
        std::set<std::string> members;
        std::string interface;
        std::string member;
        std::string in;
        std::string out;
        bool ours = false;
    } state;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(
        parser,
        [](void* data, const XML_Char* name, const XML_Char** attributes) {
            auto& s = *static_cast<State*>(data);
            std::map<std::string, std::string> a;
            for (int i = 0; attributes[i] != nullptr; i += 2) {
                a[attributes[i]] = attributes[i + 1];
            }
            const std::string element = name;
            if (element == "interface") {
                s.interface = a["name"];
                s.ours = s.interface.starts_with("org.vellumix.Pad1.");
            } else if (element == "method" || element == "signal") {
                s.member = a["name"];
                s.in.clear();
                s.out.clear();
            } else if (element == "arg") {
                (a["direction"] == "out" ? s.out : s.in) += a["type"];
            } else if (element == "property" && s.ours) {
                s.members.insert(s.interface + "." + a["name"] + " " + a["type"] + " " +
                                 a["access"]);
            }
        },
        [](void* data, const XML_Char* name) {
            auto& s = *static_cast<State*>(data);
            const std::string element = name;
            if ((element == "method" || element == "signal") && s.ours) {
                s.members.insert(s.interface + "." + s.member + "(" + s.in + ")(" + s.out + ")");
            }
        });
    EXPECT_EQ(XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1), XML_STATUS_OK);
    XML_ParserFree(parser);
    return state.members;
}

TEST(PadServiceInterface, TheServiceOffersExactlyWhatTheCheckedInDescriptionSays) {
    FakeFactory pads;
    ServiceRig rig(pads);
    const std::string path = rig.Appear("COM1");
    auto connection = sdbus::createSessionBusConnectionWithAddress(rig.Address());
    std::set<std::string> live;
    for (const std::string& object : {std::string(kManagerPath), path}) {
        auto proxy = sdbus::createProxy(*connection, kBusName, object);
        std::string xml;
        proxy->callMethod("Introspect")
            .onInterface("org.freedesktop.DBus.Introspectable")
            .storeResultsTo(xml);
        live.merge(Members(xml));
    }
    std::ifstream file(VELLUMIX_INTERFACE_XML);
    std::stringstream described;
    described << file.rdbuf();
    EXPECT_EQ(live, Members(described.str()));
    EXPECT_EQ(live.size(), 18u);
}

}  // namespace
}  // namespace vellumix::padservice::test
