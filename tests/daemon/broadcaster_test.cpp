// The time sender's pieces that need no clock: the send routine and the watch
// over modules that stop answering, on the tables of two configured modules.
#include "broadcaster.hpp"
#include "datagram.hpp"
#include "harness.hpp"
#include "receiver.hpp"
#include "tables.hpp"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <string>

namespace {

const std::uint32_t modul0 = inet_addr("127.0.0.2");
const std::uint32_t modul1 = inet_addr("127.0.0.3");

class Broadcaster : public ::testing::Test {
  protected:
    void SetUp() override {
        harness::sandbox();
        inicializujtabulky();
        pridejmodul(modul0);
        pridejmodul(modul1);
        nulujstav();
    }
    // Any datagram from the module is its answer.
    static void answer(std::uint32_t from) {
        auto b = sestavstav({7, 0, nicnoveho, 0, 0, 0, 0});
        std::string konzole;
        zpracujpaket(from, b, konzole);
    }
};

TEST_F(Broadcaster, SendRefusesSlotsOutsideTheTable) {
    const std::uint8_t d[6] = {};
    EXPECT_EQ(posliUDP(-1, -1, d, 6), -1);
    EXPECT_EQ(posliUDP(-1, 31, d, 6), -1);
    EXPECT_EQ(posliUDP(-1, 2, d, 6), -2);
    EXPECT_EQ(posliUDP(-1, 30, d, 6), -2);
    EXPECT_EQ(harness::logtext(), "");
}

TEST_F(Broadcaster, SilentModuleIsReportedOnceAndAgainWhenItAnswers) {
    for (int send = 1; send <= 12; ++send)
        hlidejmodul(0);
    hlidejmodul(1);
    EXPECT_EQ(polemod[0].hlidac, 0);
    EXPECT_EQ(polemod[1].hlidac, 9);
    answer(modul0);
    answer(modul0);
    answer(modul1);
    EXPECT_EQ(polemod[0].hlidac, 10);
    EXPECT_EQ(polemod[1].hlidac, 10);
    EXPECT_EQ(harness::maskprefixes(harness::logtext()),
              "<T>Modul cislo 0 neodpovida - 100 sec !\n"
              "<T>Modul 0 adresa 127.0.0.2 uz zase odpovida \n");
}

} // namespace
