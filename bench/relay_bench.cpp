// How long the poll cycle takes over a large log (an operator back from a contest weekend with the
// logger closed), and over the everyday one-contact file.
#include <benchmark/benchmark.h>

#include "fake_platform.h"
#include "view/qsoferry_view.h"

namespace {

std::string MakeLog(int contacts) {
    std::string log = "WSJT-X ADIF Export<eoh>\r\n";
    for (int i = 0; i < contacts; ++i) {
        log +=
            "<call:6>DL1ABC <gridsquare:4>JO62 <mode:3>FT8 <rst_sent:3>-10 <rst_rcvd:3>-12 "
            "<qso_date:8>20261207 <time_on:6>101500 <band:3>20m <freq:9>14.075123 <tx_pwr:3>100 "
            "<comment:11>tnx for qso <name:4>Hans <eor>\r\n";
    }
    return log;
}

void BM_RelayLog(benchmark::State& state) {
    qsoferry::test::FakePlatform platform;
    qsoferry::CQsoferryView view(platform);
    platform.sendDone = [&view] { view.OnSendDone(); };
    view.OnInitialUpdate();
    platform.AddWindow("DXbase", "");
    const std::string log = MakeLog(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        platform.WriteFile(view.LogPath(), log);
        view.OnTimer(qsoferry::kPollTimerId);
        platform.RunQueue();  // the logger's answers, each starting the next send
        platform.sent.clear();
        platform.calls.clear();
        platform.RemoveFile(view.Delivery().CopyPath());  // each round a copy of its own
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RelayLog)->Arg(1)->Arg(1000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
