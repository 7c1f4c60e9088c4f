#include <functional>

#include "camera/camera_fixture.h"

namespace {

class SensorOpsTest : public CameraTest {
 protected:
  SensorOps* Make(int kind) {
    if (CurrentCaptureDevice() == nullptr) Open();
    SensorOps* ops = kind == 0 ? CreateSensorOpsKind0(0, 0x20) : CreateSensorOpsKind1(0, 0x20);
    EXPECT_NE(ops, nullptr);
    tables.push_back(ops);
    return ops;
  }
  void TearDown() override {
    for (SensorOps* ops : tables) FreeSensorOps(ops);
    CameraTest::TearDown();
  }
  std::vector<SensorOps*> tables;
};

TEST_F(SensorOpsTest, TablesFillTwelveSlotsAndLeaveSlotTenEmpty) {
  for (int kind : {0, 1}) {
    SensorOps* ops = Make(kind);
    EXPECT_EQ(ops->Empty10, nullptr);
    EXPECT_EQ(ops->Reserved0(ops), 0);
    EXPECT_EQ(ops->Reserved7(ops), 0);
    EXPECT_EQ(ops->Reserved9(ops), 0);
    EXPECT_TRUE(fake->bus.empty());  // the three spare slots send nothing
    EXPECT_EQ(ops->state->busAddress, 0x20);
    EXPECT_EQ(ops->state->controlShadow, kind == 0 ? 0x17DA : 0x14B6);
    EXPECT_EQ(CurrentSensorOps(), ops);
  }
}

TEST_F(SensorOpsTest, StartUpWritesTheKindsRegisterWords) {
  SensorOps* kind1 = Make(1);
  EXPECT_EQ(kind1->SetCameraMode(kind1, 10), 0);
  EXPECT_EQ(fake->sensorWords, (std::vector<WORD>{0x14B6, 0x2044, 0xA001, 0x500F, 0x802D, 0x9078}));
  EXPECT_EQ(kind1->GetGainLevel(kind1), 4);

  fake->sensorWords.clear();
  SensorOps* kind0 = Make(0);
  EXPECT_EQ(kind0->SetCameraMode(kind0, 10), 0);
  EXPECT_EQ(fake->sensorWords, (std::vector<WORD>{0x17F2, 0x17F2, 0x5080, 0x802D, 0x9078, 0xF0D0}));
  EXPECT_EQ(kind0->GetGainLevel(kind0), 0);

  for (SensorOps* ops : {kind0, kind1}) {
    fake->bus.clear();
    EXPECT_EQ(ops->SetCameraMode(ops, 9), -1);
    EXPECT_TRUE(fake->bus.empty());
  }
}

TEST_F(SensorOpsTest, GainWordsPerKind) {
  SensorOps* kind1 = Make(1);
  const std::pair<int, WORD> kind1Words[] = {{-1, 0x5000}, {0, 0x5000}, {1, 0x5001}, {2, 0x5003},
                                             {3, 0x5007}, {4, 0x500F}, {7, 0x500F}};
  for (auto [level, word] : kind1Words) {
    fake->sensorWords.clear();
    EXPECT_EQ(kind1->SetGainLevel(kind1, level), 0);
    EXPECT_EQ(fake->sensorWords, std::vector<WORD>{word}) << level;
    EXPECT_EQ(kind1->GetGainLevel(kind1), level);
  }
  SensorOps* kind0 = Make(0);
  const std::pair<int, WORD> kind0Words[] = {{-1, 0x5080}, {0, 0x5080}, {1, 0x5083},
                                             {2, 0x5087}, {3, 0x508F}, {4, 0x5080}};
  for (auto [level, word] : kind0Words) {
    fake->sensorWords.clear();
    EXPECT_EQ(kind0->SetGainLevel(kind0, level), 0);
    EXPECT_EQ(fake->sensorWords, std::vector<WORD>{word}) << level;
    EXPECT_EQ(kind0->GetGainLevel(kind0), level);
  }
}

TEST_F(SensorOpsTest, FailedGainWriteIsBookedDifferentlyPerKind) {
  SensorOps* kind0 = Make(0);
  SensorOps* kind1 = Make(1);
  ASSERT_EQ(kind0->SetGainLevel(kind0, 2), 0);
  ASSERT_EQ(kind1->SetGainLevel(kind1, 2), 0);
  fake->sensorAck = false;
  EXPECT_EQ(kind0->SetGainLevel(kind0, 3), -1);
  EXPECT_EQ(kind0->GetGainLevel(kind0), 2);  // kept only after a good write
  EXPECT_EQ(kind1->SetGainLevel(kind1, 3), -1);
  EXPECT_EQ(kind1->GetGainLevel(kind1), 3);  // kept before the write
}

TEST_F(SensorOpsTest, RegisterWriteFailureHandlingPerKind) {
  Open();
  // Kind 1 gives up at the unacknowledged high byte and sends no stop.
  fake->sensorNackAt = {1};
  EXPECT_FALSE(WriteSensorRegisterKind1(0x20, 0x1234));
  EXPECT_EQ(fake->bus, (std::vector<std::string>{"start", "w 20", "w 12"}));

  // Kind 0 carries every step out and still reports the failure.
  fake->bus.clear();
  fake->sensorNackAt = {4};
  EXPECT_FALSE(WriteSensorRegisterKind0(0x20, 0x1234));
  EXPECT_EQ(fake->bus, (std::vector<std::string>{"start", "w 20", "w 12", "w 34", "stop"}));

  fake->bus.clear();
  fake->sensorNackAt.clear();
  EXPECT_TRUE(WriteSensorRegisterKind1(0x20, 0x5001));
  EXPECT_EQ(fake->bus, (std::vector<std::string>{"start", "w 20", "w 50", "w 01", "stop"}));
}

TEST_F(SensorOpsTest, Kind0StartUpNeedsOnlyTheSecondControlWrite) {
  SensorOps* ops = Make(0);
  fake->sensorNackAt = {0};  // the first control write's address byte
  EXPECT_EQ(ops->SetCameraMode(ops, 10), 0);
  fake->sensorBytes = 0;
  fake->sensorNackAt = {4};  // now the second one fails
  EXPECT_EQ(ops->SetCameraMode(ops, 10), -1);
}

TEST_F(SensorOpsTest, ControlBitsKeepTheShadowEvenWhenTheWriteFails) {
  SensorOps* ops = Make(1);
  EXPECT_EQ(ops->SetControlBit2(ops, 3), 0);  // only bit 0 of the value counts
  EXPECT_EQ(ops->state->controlShadow, 0x14B6 | 0x0004);
  EXPECT_EQ(ops->SetControlBit2(ops, 2), 0);
  EXPECT_EQ(ops->state->controlShadow, 0x14B6 & ~0x0004);
  EXPECT_EQ(ops->SetControlBit1(ops, 0), 0);  // flag 0 sets bit 1
  EXPECT_EQ(ops->state->controlShadow & 0x0002, 0x0002);
  EXPECT_EQ(ops->SetControlBit1(ops, 5), 0);
  EXPECT_EQ(ops->state->controlShadow & 0x0002, 0);
  fake->sensorAck = false;
  EXPECT_EQ(ops->SetControlBit4(ops, 1), -1);
  EXPECT_EQ(ops->state->controlShadow & 0x0010, 0x0010);
}

TEST_F(SensorOpsTest, RegisterAndEepromAccessWords) {
  SensorOps* kind0 = Make(0);
  SensorOps* kind1 = Make(1);
  fake->sensorWords.clear();
  EXPECT_EQ(kind0->SetEepromAccess(kind0, 0), 0);
  EXPECT_EQ(kind0->SetEepromAccess(kind0, 3), 0);
  EXPECT_EQ(kind1->SetEepromAccess(kind1, 2), 0);
  EXPECT_EQ(kind1->SetEepromAccess(kind1, 1), 0);
  EXPECT_EQ(kind0->SetRegister3(kind0, 0x1ABC), 0);
  EXPECT_EQ(kind1->SetRegisters8And9(kind1, 0x1001, -1), 0);
  EXPECT_EQ(fake->sensorWords, (std::vector<WORD>{0x2000, 0x2400, 0x2040, 0x2044, 0x3ABC, 0x8001, 0x9FFF}));
}

// The settle wait follows exactly the writes that need one: the clock stands
// still except while a wait spins, so each word's arrival time shows the waits
// before it.
TEST_F(SensorOpsTest, SettleWaitsFollowOnlyTheWritesThatNeedThem) {
  struct Case {
    int kind;
    std::function<int(SensorOps*)> op;
    std::vector<WORD> words;
    std::vector<DWORD> arrivals;  // ms after the operation began
    DWORD total;
  };
  const Case cases[] = {
      {1, [](SensorOps* o) { return o->SetCameraMode(o, 10); },
       {0x14B6, 0x2044, 0xA001, 0x500F, 0x802D, 0x9078}, {0, 0, 0, 0, 210, 420}, 630},
      {0, [](SensorOps* o) { return o->SetCameraMode(o, 10); },
       {0x17F2, 0x17F2, 0x5080, 0x802D, 0x9078, 0xF0D0}, {0, 0, 0, 220, 440, 660}, 880},
      {1, [](SensorOps* o) { return o->SetRegister3(o, 1); }, {0x3001}, {0}, 210},
      {0, [](SensorOps* o) { return o->SetRegister3(o, 1); }, {0x3001}, {0}, 0},
      {1, [](SensorOps* o) { return o->SetEepromAccess(o, 0); }, {0x2040}, {0}, 210},
      {0, [](SensorOps* o) { return o->SetEepromAccess(o, 1); }, {0x2400}, {0}, 220},
      {1, [](SensorOps* o) { return o->SetControlBit4(o, 1); }, {0x14B6 | 0x10}, {0}, 0},
      {0, [](SensorOps* o) { return o->SetControlBit2(o, 1); }, {0x17DA | 0x04}, {0}, 0},
  };
  for (const Case& c : cases) {
    SensorOps* ops = Make(c.kind);
    ClearLogs();
    const DWORD start = clock.Now();
    EXPECT_EQ(c.op(ops), 0);
    EXPECT_EQ(fake->sensorWords, c.words) << "kind " << c.kind;
    std::vector<DWORD> arrivals;
    for (DWORD t : fake->sensorWordTimes) arrivals.push_back(t - start);
    EXPECT_EQ(arrivals, c.arrivals) << "kind " << c.kind;
    EXPECT_EQ(clock.Now() - start, c.total) << "kind " << c.kind;
  }

  // A write that fails returns at once, without its wait.
  for (int kind : {0, 1}) {
    SensorOps* ops = Make(kind);
    fake->sensorAck = false;
    const DWORD start = clock.Now();
    EXPECT_EQ(ops->SetGainLevel(ops, 1), -1);
    EXPECT_EQ(clock.Now(), start) << "kind " << kind;
    fake->sensorAck = true;
  }
}

TEST(WaitMilliseconds, WaitsTheLowSixteenBitsAcrossAClockWrap) {
  platform::VirtualClock clock(0xFFFFFF00u);
  platform::SetClockSource(&clock);
  WaitMilliseconds(0x10000 + 300);  // only the low 16 bits count
  EXPECT_EQ(clock.Now(), 0xFFFFFF00u + 300);
  platform::SetClockSource(nullptr);
}

}  // namespace
