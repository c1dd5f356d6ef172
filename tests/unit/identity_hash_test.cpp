// The terminal's identity: the broker connection found in the TCP table and its hash.
#include "tests/unit/order_path_fixtures.h"

using namespace orderpath;

TEST(IdentityHash, PaddingDigitsAndTheDigestOfEightSpaces)
{
    EXPECT_EQ(padToBlock(L""), std::wstring(8, L' '));
    EXPECT_EQ(padToBlock(L"12345678"), L"12345678" + std::wstring(8, L' '));
    EXPECT_EQ(padToBlock(L"192.168.1.10"), L"192.168.1.10    ");
    EXPECT_EQ(padToBlock(L"192.168.100.200"), L"192.168.100.200 ");
    const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
    EXPECT_EQ(bytesToHex(bytes, 4), L"000FA5FF");

    COrderPath path;
    EXPECT_EQ(path.HASH(L"", CALG_SHA1), L"8882632B7F0DFFA4D723AB9CF17BEDB55690BA5B");
    const std::wstring digest = path.HASH(L"192.168.1.10", CALG_SHA1);
    ASSERT_EQ(digest.size(), 40u);
    EXPECT_EQ(digest.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos);
}

TEST(IdentityHash, BrokerAddressOfAProcessWithoutConnectionsIsEmpty)
{
    // A program with a window and no socket at all.
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::wstring line = L"bench_blit_baseline.exe";
    ASSERT_TRUE(CreateProcessW(BesideTests(L"bench_blit_baseline.exe").c_str(), line.data(), nullptr, nullptr, FALSE,
                               0, nullptr, nullptr, &startup, &info));
    HWND window = nullptr;
    for (int i = 0; i < 250 && !window; ++i, Sleep(20))
        window = FindWindowW(L"BlitBaseline", nullptr);
    COrderPath path;
    path.attachTerminal(info.dwProcessId);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(path.brokerAddress(), L"");
    TerminateProcess(info.hProcess, 0);
    WaitForSingleObject(info.hProcess, 5000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

// A clock the test moves by hand, for the identity's freshness.
struct TestClock {
    std::shared_ptr<std::atomic<std::chrono::steady_clock::rep>> now =
        std::make_shared<std::atomic<std::chrono::steady_clock::rep>>(
            std::chrono::steady_clock::now().time_since_epoch().count());
    void Advance(std::chrono::milliseconds by) { *now += std::chrono::duration_cast<std::chrono::steady_clock::duration>(by).count(); }
    BrokerIdentity::Clock Function() const
    {
        return [now = now] { return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(now->load())); };
    }
};

TEST(IdentityHash, BrokerAddressIsTheRemoteAddressOfTheTerminalsConnectionAndAReconnectShowsWithinTheBound)
{
    // This process plays the terminal: its connection to the broker.
    BrokerConnection broker;
    ASSERT_TRUE(broker);
    COrderPath path;
    path.attachTerminal(GetCurrentProcessId());
    EXPECT_EQ(path.brokerAddress(), L"127.0.0.5");

    // On the system's own tables, with a clock of the test's.
    TestClock clock;
    BrokerIdentity identity(SystemTcpReadings(), clock.Function());
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.5");
    broker.Reconnect("127.0.0.6");
    ASSERT_TRUE(broker);
    // Within the bound the look-up before the reconnect serves, with no table read; the first attempt
    // past it carries the new server.
    clock.Advance(identityServesFor - std::chrono::milliseconds(1));
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.5");
    EXPECT_EQ(identity.ownerTableReads(), 1);
    clock.Advance(std::chrono::milliseconds(2));
    EXPECT_EQ(identity.ForAttempt(GetCurrentProcessId()), L"127.0.0.6");
    EXPECT_EQ(identity.ownerTableReads(), 2) << "the old row was gone";
}

TEST(IdentityHash, BrokerRowIsTheProcesssFirstWithARemoteAddressAndStandsWhileListed)
{
    // Windows lists a listening socket of the terminal first (wine gives it no owner); its remote address
    // 0 is no broker's.
    std::vector<unsigned char> owners(offsetof(MIB_TCPTABLE_OWNER_PID, table) + 3 * sizeof(MIB_TCPROW_OWNER_PID));
    auto* rows = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(owners.data());
    rows->dwNumEntries = 3;
    rows->table[0] = {MIB_TCP_STATE_ESTAB, 1, 1, inet_addr("10.0.0.9"), 0, 7};  // another process's
    rows->table[1] = {MIB_TCP_STATE_LISTEN, 2, 2, 0, 0, 42};
    rows->table[2] = {MIB_TCP_STATE_ESTAB, 3, 3, inet_addr("10.1.2.3"), 4, 42};
    const std::optional<TcpRowKey> found = FindBrokerRow(owners, 42);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->remoteAddress, inet_addr("10.1.2.3"));
    EXPECT_FALSE(FindBrokerRow(owners, 5));
    rows->table[0].dwOwningPid = 42;
    EXPECT_EQ(FindBrokerRow(owners, 42)->remoteAddress, inet_addr("10.0.0.9")) << "the first in the table's order";
    rows->dwNumEntries = 1000;  // a count past the rows read
    EXPECT_TRUE(FindBrokerRow(owners, 42));

    // The same connections without owners: the row stands while it is listed in its state, wherever.
    const auto basic = [](std::vector<MIB_TCPROW> list) {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE, table) + list.size() * sizeof(MIB_TCPROW));
        reinterpret_cast<MIB_TCPTABLE*>(table.data())->dwNumEntries = DWORD(list.size());
        std::copy(list.begin(), list.end(), reinterpret_cast<MIB_TCPTABLE*>(table.data())->table);
        return table;
    };
    const MIB_TCPROW other = {{MIB_TCP_STATE_ESTAB}, 1, 1, inet_addr("10.0.0.9"), 0};
    const MIB_TCPROW broker = {{MIB_TCP_STATE_ESTAB}, 3, 3, inet_addr("10.1.2.3"), 4};
    const MIB_TCPROW fresh = {{MIB_TCP_STATE_ESTAB}, 5, 5, inet_addr("10.7.7.7"), 6};
    MIB_TCPROW closing = broker;
    closing.dwState = MIB_TCP_STATE_TIME_WAIT;
    MIB_TCPROW otherPort = broker;
    otherPort.dwLocalPort = 9;
    EXPECT_TRUE(StillListed(*found, basic({other, broker})));
    EXPECT_TRUE(StillListed(*found, basic({fresh, broker, fresh}))) << "other programs' connections change nothing";
    EXPECT_FALSE(StillListed(*found, basic({other, closing}))) << "closed: a new pair may reuse the ports";
    EXPECT_FALSE(StillListed(*found, basic({other, otherPort}))) << "another connection to the same server";
    EXPECT_FALSE(StillListed(*found, basic({other})));
    EXPECT_FALSE(StillListed(*found, {})) << "no table at all";
}

namespace {

// The system's TCP tables and counters as Windows and wine keep them, for the proofs of the broker row.
enum class TcpRules { Windows, Wine };

class TcpModel {
public:
    explicit TcpModel(TcpRules rules) : rules_(rules) {}

    // A connection in a state, listed at a place in the table (the end by default); the counters as if it
    // had got there long ago. I/O done: wine names the owner only then.
    int Add(DWORD owner, DWORD state, DWORD remoteAddress, size_t place = SIZE_MAX, bool io = true)
    {
        const Connection connection = {{state, inet_addr("10.0.0.1"), nextPort_++, remoteAddress, 443}, owner, io};
        place = std::min(place, connections_.size());
        connections_.insert(connections_.begin() + ptrdiff_t(place), connection);
        counters_.currentlyEstablished += Counted(state);
        return int(place);
    }
    // A connection opened from here: half open, and one more active open.
    int Connect(DWORD owner, DWORD remoteAddress, size_t place = SIZE_MAX)
    {
        ++counters_.activeOpens;
        return Add(owner, MIB_TCP_STATE_SYN_SENT, remoteAddress, place, false);
    }
    // Its next state; MIB_TCP_STATE_DELETE_TCB: gone from the table.
    void Move(DWORD remoteAddress, DWORD state)
    {
        const auto it = std::find_if(connections_.begin(), connections_.end(),
                                     [&](const Connection& c) { return c.key.remoteAddress == remoteAddress; });
        ASSERT_NE(it, connections_.end());
        const DWORD old = it->key.state;
        counters_.currentlyEstablished += Counted(state) - Counted(old);
        if (state == MIB_TCP_STATE_DELETE_TCB && (old == MIB_TCP_STATE_SYN_SENT || old == MIB_TCP_STATE_SYN_RCVD))
            ++counters_.attemptFails;
        if (state == MIB_TCP_STATE_DELETE_TCB)
            connections_.erase(it);
        else
            it->key.state = state;
    }
    // The other end of a connection on this machine, owned by another process.
    void AddOtherEnd(DWORD remoteAddress, DWORD owner, size_t place)
    {
        const auto it = std::find_if(connections_.begin(), connections_.end(),
                                     [&](const Connection& c) { return c.key.remoteAddress == remoteAddress; });
        ASSERT_NE(it, connections_.end());
        Connection end = *it;
        end.key = {it->key.state, it->key.remoteAddress, it->key.remotePort, it->key.localAddress, it->key.localPort};
        end.owner = owner;
        ++counters_.passiveOpens;
        counters_.currentlyEstablished += Counted(end.key.state);
        connections_.insert(connections_.begin() + ptrdiff_t(std::min(place, connections_.size())), end);
    }
    std::vector<TcpRowKey> RowsOf(DWORD owner) const
    {
        std::vector<TcpRowKey> rows;
        for (const Connection& c : connections_)
            if (c.owner == owner)
                rows.push_back(c.key);
        return rows;
    }
    void FirstIo(DWORD remoteAddress)
    {
        for (Connection& c : connections_)
            c.io |= c.key.remoteAddress == remoteAddress;
    }
    // What happens while the next table is read: before its rows are read, and after.
    void DuringNextRead(std::function<void()> before, std::function<void()> after)
    {
        beforeRead_ = std::move(before);
        afterRead_ = std::move(after);
    }

    std::vector<unsigned char> OwnerTable() const
    {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE_OWNER_PID, table) +
                                         connections_.size() * sizeof(MIB_TCPROW_OWNER_PID));
        auto* rows = reinterpret_cast<MIB_TCPTABLE_OWNER_PID*>(table.data());
        rows->dwNumEntries = DWORD(connections_.size());
        for (size_t i = 0; i < connections_.size(); ++i) {
            const TcpRowKey& k = connections_[i].key;
            rows->table[i] = {k.state, k.localAddress, k.localPort, k.remoteAddress, k.remotePort, ShownOwner(connections_[i])};
        }
        return table;
    }
    std::vector<unsigned char> BasicTable() const
    {
        std::vector<unsigned char> table(offsetof(MIB_TCPTABLE, table) + connections_.size() * sizeof(MIB_TCPROW));
        auto* rows = reinterpret_cast<MIB_TCPTABLE*>(table.data());
        rows->dwNumEntries = DWORD(connections_.size());
        for (size_t i = 0; i < connections_.size(); ++i) {
            const TcpRowKey& k = connections_[i].key;
            rows->table[i] = {{k.state}, k.localAddress, k.localPort, k.remoteAddress, k.remotePort};
        }
        return table;
    }
    TcpReadings Readings()
    {
        const auto read = [this](std::vector<unsigned char>& table, bool owners) {
            if (beforeRead_)
                std::exchange(beforeRead_, nullptr)();
            table = owners ? OwnerTable() : BasicTable();
            if (afterRead_)
                std::exchange(afterRead_, nullptr)();
            return true;
        };
        return {[this] { return std::optional<TcpCounters>(counters_); },
                [read](std::vector<unsigned char>& table) { return read(table, false); },
                [read](std::vector<unsigned char>& table) { return read(table, true); }};
    }
    // The remote address a look-up in the table with owners gives now.
    DWORD LookUp(DWORD process) const
    {
        const std::optional<TcpRowKey> found = FindBrokerRow(OwnerTable(), process);
        return found ? found->remoteAddress : 0;
    }

private:
    struct Connection {
        TcpRowKey key;
        DWORD owner;
        bool io;
    };
    DWORD Counted(DWORD state) const
    {
        return state == MIB_TCP_STATE_ESTAB || (rules_ == TcpRules::Windows && state == MIB_TCP_STATE_CLOSE_WAIT);
    }
    DWORD ShownOwner(const Connection& c) const
    {
        // Windows: a connection waiting after its close belongs to no process. Wine: only one the process
        // has done I/O on shows its owner, and none that waits.
        if (c.key.state == MIB_TCP_STATE_TIME_WAIT || (rules_ == TcpRules::Wine && !c.io))
            return 0;
        return c.owner;
    }

    TcpRules rules_;
    std::vector<Connection> connections_;
    TcpCounters counters_ = {100, 50, 0, 0, 0};
    DWORD nextPort_ = 50000;
    std::function<void()> beforeRead_, afterRead_;
};

}  // namespace

TEST(IdentityHash, KeptBrokerRowStandsWhileListedAndIsLookedUpAgainOnceGoneOnBothSystems)
{
    constexpr DWORD terminal = 42, other = 7, panel = 99;
    const DWORD broker = inet_addr("10.1.1.1"), second = inet_addr("10.1.1.2"), elsewhere = inet_addr("10.9.9.9");
    const DWORD service = inet_addr("10.5.5.5");
    struct Sequence {
        const char* name;
        std::function<void(TcpModel&)> before;  // the tables at the first look-up
        std::function<void(TcpModel&)> change;  // then, before the next
        bool kept;  // the row found first stands; otherwise the next look-up finds what the owners say then
        int ownerReads;  // reads of the table with owners in all, or -1 when either is right
    };
    const std::vector<Sequence> sequences = {
        {"nothing changes", [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [](TcpModel&) {}, true, 1},
        {"another process connects, a browser's pattern",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(other, elsewhere, 0);
             m.Move(elsewhere, MIB_TCP_STATE_ESTAB);
             m.Move(elsewhere, MIB_TCP_STATE_TIME_WAIT);
         },
         true, 1},
        {"a new connection of the terminal's listed first",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(terminal, second, 0);
             m.FirstIo(second);
             m.Move(second, MIB_TCP_STATE_ESTAB);
         },
         true, 1},
        {"the panel connects to the service, listed first, both ends",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) {
             m.Connect(panel, service, 0);
             m.FirstIo(service);
             m.Move(service, MIB_TCP_STATE_ESTAB);
             m.AddOtherEnd(service, other, 0);
         },
         true, 1},
        {"a socket ahead shows its owner at its first I/O",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second, 0, false);
         },
         [&](TcpModel& m) { m.FirstIo(second); }, true, 1},
        {"a half-open first row fails",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second, 0);
             m.FirstIo(second);
         },
         [&](TcpModel& m) { m.Move(second, MIB_TCP_STATE_DELETE_TCB); }, false, 2},
        {"reconnected: a new connection established and the old one closed",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second);
             m.FirstIo(second);
         },
         [&](TcpModel& m) {
             m.Move(second, MIB_TCP_STATE_ESTAB);
             m.Move(broker, MIB_TCP_STATE_DELETE_TCB);
         },
         false, 2},
        {"the row closing from here goes to TIME-WAIT",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_FIN_WAIT2, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second);
         },
         [&](TcpModel& m) { m.Move(broker, MIB_TCP_STATE_TIME_WAIT); }, false, 2},
        {"a row the service closed goes on to its end",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_CLOSE_WAIT, broker);
             m.Add(terminal, MIB_TCP_STATE_ESTAB, second);
         },
         [&](TcpModel& m) {
             m.Move(broker, MIB_TCP_STATE_LAST_ACK);
             m.Move(broker, MIB_TCP_STATE_DELETE_TCB);
         },
         false, 2},
        // Windows counts CLOSE-WAIT as established: its counters keep the row, wine's have it looked up.
        {"the service closes the row: it stays the terminal's",
         [&](TcpModel& m) { m.Add(terminal, MIB_TCP_STATE_ESTAB, broker); },
         [&](TcpModel& m) { m.Move(broker, MIB_TCP_STATE_CLOSE_WAIT); }, false, -1},
        {"one connection completes and the row closes while the table is read",
         [&](TcpModel& m) {
             m.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
             m.Connect(terminal, second);
             m.FirstIo(second);
             m.DuringNextRead([&m, second] { m.Move(second, MIB_TCP_STATE_ESTAB); },
                              [&m, broker] { m.Move(broker, MIB_TCP_STATE_DELETE_TCB); });
         },
         [](TcpModel&) {}, false, 2},
    };
    for (const TcpRules rules : {TcpRules::Windows, TcpRules::Wine}) {
        for (const Sequence& sequence : sequences) {
            const char* system = rules == TcpRules::Windows ? "Windows" : "wine";
            TcpModel model(rules);
            sequence.before(model);
            BrokerRowKeeper keeper(model.Readings());
            const std::optional<TcpRowKey> first = keeper.LookUp(terminal);
            ASSERT_TRUE(first) << sequence.name << ", " << system;
            sequence.change(model);
            const DWORD expected = sequence.kept ? first->remoteAddress : model.LookUp(terminal);
            // Twice: the second after a first that may have kept counters.
            for (int again = 0; again < 2; ++again) {
                const std::optional<TcpRowKey> next = keeper.LookUp(terminal);
                EXPECT_EQ(next ? next->remoteAddress : 0, expected)
                    << sequence.name << ", " << system << ", look-up " << again + 2;
            }
            if (sequence.ownerReads >= 0) {
                EXPECT_EQ(keeper.ownerTableReads(), sequence.ownerReads) << sequence.name << ", " << system;
            }
        }
    }
}

TEST(IdentityHash, AnAttemptTakesALookUpThatServesAndWaitsForOneLookUpAtMost)
{
    constexpr DWORD terminal = 42;
    const DWORD broker = inet_addr("10.1.1.1"), second = inet_addr("10.1.1.2");
    TcpModel model(TcpRules::Wine);
    model.Add(terminal, MIB_TCP_STATE_ESTAB, broker);
    // Every reading of the system counted, and held back while the test asks.
    std::atomic<int> readings{0}, attemptReadings{0};
    std::atomic<DWORD> attemptThread{0};
    std::atomic<bool> holdReadings{false}, holding{false};
    TcpReadings counted = model.Readings();
    const auto counting = [&](auto read) {
        return [&, read](auto&... table) {
            ++readings;
            if (GetCurrentThreadId() == attemptThread)
                ++attemptReadings;
            while (holdReadings) {
                holding = true;
                Sleep(1);
            }
            return read(table...);
        };
    };
    counted.counters = counting(counted.counters);
    counted.basicTable = counting(counted.basicTable);
    counted.ownerTable = counting(counted.ownerTable);
    TestClock clock;
    std::atomic<int> clockReads{0};
    BrokerIdentity identity(counted, [&, time = clock.Function()] {
        ++clockReads;
        return time();
    });
    const auto asText = [](DWORD address) {
        in_addr dotted;
        dotted.S_un.S_addr = address;
        const std::string text = inet_ntoa(dotted);
        return std::wstring(text.begin(), text.end());
    };

    EXPECT_TRUE(identity.Due(terminal)) << "nothing looked up yet";
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_FALSE(identity.Due(terminal));
    EXPECT_TRUE(identity.Due(terminal + 1)) << "another terminal";

    // While it serves, an attempt reads nothing at all.
    const int afterFirst = readings;
    clock.Advance(identityServesFor);
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_EQ(readings, afterFirst);

    // Renewed ahead of a press once it is due, and not before.
    clock.Advance(identityRenewedAfter - identityServesFor - std::chrono::milliseconds(1));
    EXPECT_FALSE(identity.Due(terminal));
    EXPECT_TRUE(identity.Due(terminal, identityRenewedOnLeave)) << "as the pointer leaves, sooner";
    identity.RenewIfDue(terminal);
    EXPECT_EQ(readings, afterFirst);
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_TRUE(identity.Due(terminal));
    identity.RenewIfDue(terminal);
    EXPECT_GT(readings, afterFirst);
    EXPECT_EQ(identity.ownerTableReads(), 1) << "the row was still listed";

    // The terminal reconnects: the renewed look-up serves out its bound, then the new server shows.
    model.Connect(terminal, second);
    model.FirstIo(second);
    model.Move(second, MIB_TCP_STATE_ESTAB);
    model.Move(broker, MIB_TCP_STATE_DELETE_TCB);
    clock.Advance(identityServesFor);
    const int beforeServed = readings;
    EXPECT_EQ(identity.ForAttempt(terminal), asText(broker));
    EXPECT_EQ(readings, beforeServed);
    clock.Advance(std::chrono::milliseconds(1));
    EXPECT_EQ(identity.ForAttempt(terminal), asText(second));
    EXPECT_EQ(identity.ownerTableReads(), 2);

    // A renewal that runs while the last look-up still serves holds no attempt back.
    holdReadings = true;
    const win::UniqueHandleObject early =
        win::StartThread([&] { identity.RenewIfDue(terminal, std::chrono::milliseconds(0)); });
    ASSERT_TRUE(early);
    ASSERT_TRUE(harness::WaitUntil([&] { return holding.load(); }, 5000));
    EXPECT_EQ(identity.ForAttempt(terminal), asText(second)) << "taken while the renewal is held";
    holdReadings = false;
    ASSERT_EQ(WaitForSingleObject(early.get(), 5000), WAIT_OBJECT_0);
    holding = false;

    // An attempt that comes while a look-up runs waits for it and takes its answer: one look-up, not two.
    clock.Advance(identityServesFor + std::chrono::milliseconds(1));
    holdReadings = true;
    const win::UniqueHandleObject renewing = win::StartThread([&] { identity.RenewIfDue(terminal); });
    ASSERT_TRUE(renewing);
    ASSERT_TRUE(harness::WaitUntil([&] { return holding.load(); }, 5000));
    const int clockBefore = clockReads;
    std::wstring atAttempt;
    const win::UniqueHandleObject attempt = win::StartThread([&] {
        attemptThread = GetCurrentThreadId();
        atAttempt = identity.ForAttempt(terminal);
    });
    ASSERT_TRUE(attempt);
    ASSERT_TRUE(harness::WaitUntil([&] { return clockReads > clockBefore; }, 5000)) << "the attempt has started";
    holdReadings = false;
    ASSERT_EQ(WaitForSingleObject(attempt.get(), 5000), WAIT_OBJECT_0);
    ASSERT_EQ(WaitForSingleObject(renewing.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(atAttempt, asText(second));
    EXPECT_EQ(attemptReadings, 0) << "the running look-up served the attempt";

    // A table that cannot be read gives its attempt the empty address and serves no other.
    bool unreadable = true;
    TcpReadings failing = model.Readings();
    failing.ownerTable = [&, read = failing.ownerTable](std::vector<unsigned char>& table) {
        return !std::exchange(unreadable, false) && read(table);
    };
    BrokerIdentity once(failing, clock.Function());
    EXPECT_EQ(once.ForAttempt(terminal), L"");
    EXPECT_TRUE(once.Due(terminal));
    EXPECT_EQ(once.ForAttempt(terminal), asText(second));
}

TEST(IdentityHash, NoTerminalProcessGivesTheEmptyAddress)
{
    // A connection closed from this side stays in TIME_WAIT, a row that belongs to no process (id 0).
    Winsock winsock;
    OneShotServer server(Http(Soap11(goodResponse)));
    std::string result;
    ASSERT_EQ(SendOrderComp(server.Endpoint(), FullRequest(), result), 0);
    COrderPath path;
    path.attachTerminal(0);
    EXPECT_EQ(path.brokerAddress(), L"");
}

TEST(IdentityHash, TableIsReadOnceWhenItFitsAndAskedAgainWhenItGrew)
{
    // Wine builds the whole table for each call: a desktop's table is read with one call, no size query.
    DWORD rows = 50;
    int calls = 0;
    const auto table = [&](void* buffer, DWORD* size) -> DWORD {
        ++calls;
        const DWORD needed = sizeof(DWORD) + rows * sizeof(MIB_TCPROW_OWNER_PID);
        if (!buffer || *size < needed) {
            *size = needed;
            return ERROR_INSUFFICIENT_BUFFER;
        }
        static_cast<MIB_TCPTABLE_OWNER_PID*>(buffer)->dwNumEntries = rows;
        return NO_ERROR;
    };
    std::vector<unsigned char> read;
    ASSERT_TRUE(ReadSizedTable(table, read));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, 50u);

    // One larger than the first room is asked again with the size it named, and room for a few more rows.
    rows = initialTableBytes / sizeof(MIB_TCPROW_OWNER_PID) + 10;
    calls = 0;
    ASSERT_TRUE(ReadSizedTable(table, read));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, rows);

    // Another process opens connections between the calls, past the room each time: asked again.
    int grown = 0;
    const auto growing = [&](void* buffer, DWORD* size) -> DWORD {
        if (grown++ < 2)
            rows = rows * 2 + initialTableBytes;  // past any room given
        return table(buffer, size);
    };
    ASSERT_TRUE(ReadSizedTable(growing, read));
    EXPECT_EQ(reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(read.data())->dwNumEntries, rows);
    // One that never stops growing is given up, not asked forever.
    grown = -1000;
    EXPECT_FALSE(ReadSizedTable(growing, read));

    // A size past any system's table is refused, not allocated.
    const auto huge = [](void*, DWORD* size) -> DWORD {
        *size = 0xFFFFFFF0;
        return ERROR_INSUFFICIENT_BUFFER;
    };
    EXPECT_FALSE(ReadSizedTable(huge, read));
    const auto failing = [](void*, DWORD*) -> DWORD { return ERROR_NOT_SUPPORTED; };
    EXPECT_FALSE(ReadSizedTable(failing, read));
}
