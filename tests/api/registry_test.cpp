#include "api/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "sim/sim_driver.h"

namespace kt {
namespace {

// Ring behaviour with fake instance pointers: the ring never touches them.
CKolThermo* Fake(int n) {
  return reinterpret_cast<CKolThermo*>(static_cast<uintptr_t>(0x1000 * n));
}

std::vector<int32_t> KeysFromHead(CSdkChain& chain) {
  std::vector<int32_t> keys;
  CSDKDATA* node = chain.head();
  for (uint32_t i = 0; i < chain.count(); ++i, node = node->next) keys.push_back(node->instance_id);
  return keys;
}

TEST(RingTest, AddInsertsInFrontOfTheHead) {
  CSdkChain chain;
  EXPECT_EQ(nullptr, chain.head());
  ASSERT_TRUE(chain.Add({10, Fake(1), nullptr, nullptr}));
  EXPECT_EQ(chain.head(), chain.head()->next);
  EXPECT_EQ(chain.head(), chain.head()->previous);
  chain.Add({20, Fake(2), nullptr, nullptr});
  chain.Add({30, Fake(3), nullptr, nullptr});
  EXPECT_EQ(3u, chain.count());
  // Each new node goes in front of the old head and becomes the head.
  EXPECT_EQ((std::vector<int32_t>{30, 20, 10}), KeysFromHead(chain));
  // Backward links close the same cycle.
  EXPECT_EQ(10, chain.head()->previous->instance_id);
  EXPECT_EQ(20, chain.head()->previous->previous->instance_id);
}

TEST(RingTest, LookupRotatesHitToHeadAndMissToFormerTail) {
  CSdkChain chain;
  for (int id : {1, 2, 3}) chain.Add({id, Fake(id), nullptr, nullptr});
  ASSERT_EQ((std::vector<int32_t>{3, 2, 1}), KeysFromHead(chain));

  ASSERT_NE(nullptr, chain.Lookup(1));
  EXPECT_EQ(1, chain.head()->instance_id);
  EXPECT_EQ(Fake(1), chain.head()->instance);
  EXPECT_EQ((std::vector<int32_t>{1, 3, 2}), KeysFromHead(chain));

  // A miss walks once round and leaves the former tail (2, in front of 1) at the head.
  EXPECT_EQ(nullptr, chain.Lookup(99));
  EXPECT_EQ(2, chain.head()->instance_id);
  EXPECT_EQ(3u, chain.count());
  EXPECT_FALSE(chain.Find(99));
  EXPECT_EQ(3, chain.head()->instance_id);
}

TEST(RingTest, ContainsDoesNotMoveTheHead) {
  CSdkChain chain;
  for (int id : {1, 2, 3}) chain.Add({id, Fake(id), nullptr, nullptr});
  EXPECT_TRUE(chain.Contains(2));
  EXPECT_FALSE(chain.Contains(4));
  EXPECT_EQ(3, chain.head()->instance_id);
}

TEST(RingTest, RemovalOrderAndEmptying) {
  CSdkChain chain;
  EXPECT_EQ(0, chain.RemoveHead());
  EXPECT_EQ(0, chain.Unregister(5));
  for (int id : {1, 2, 3, 4}) chain.Add({id, Fake(id), nullptr, nullptr});
  ASSERT_EQ((std::vector<int32_t>{4, 3, 2, 1}), KeysFromHead(chain));
  EXPECT_EQ(1, chain.Unregister(2));  // found, removed at the head, its next becomes head
  EXPECT_EQ((std::vector<int32_t>{1, 4, 3}), KeysFromHead(chain));
  EXPECT_EQ(1, chain.RemoveHead());
  EXPECT_EQ((std::vector<int32_t>{4, 3}), KeysFromHead(chain));
  EXPECT_EQ(0, chain.Unregister(2));
  EXPECT_EQ(3, chain.head()->instance_id);  // the miss left the former tail at the head
  chain.Clear();
  EXPECT_EQ(0u, chain.count());
  EXPECT_EQ(nullptr, chain.head());
  EXPECT_FALSE(chain.Find(4));
}

TEST(RingTest, SearchStopsAtAnElementSharingTheTailKey) {
  // Keys from the head: 7, 5, 9, 5. The tail (5) ends the walk at the first 5,
  // so the 9 behind it is never reached.
  CSdkChain chain;
  for (int id : {5, 9, 5, 7}) chain.Add({id, Fake(id), nullptr, nullptr});
  chain.Find(7);
  ASSERT_EQ((std::vector<int32_t>{7, 5, 9, 5}), KeysFromHead(chain));
  EXPECT_FALSE(chain.Find(9));
  EXPECT_EQ(5, chain.head()->instance_id);
}

TEST(FormInstanceIdTest, SumWrapsInThirtyTwoBits) {
  EXPECT_EQ(1000 + 17 + 2, FormInstanceId(1000, 17, 2));
  EXPECT_EQ(5, FormInstanceId(0xFFFFFFFFu, 4, 2));
  EXPECT_EQ(static_cast<int32_t>(0x80000000u), FormInstanceId(0x7FFFFFFFu, 1, 0));
}

class RegistryTest : public ::testing::Test {
 protected:
  platform::ManualClock clock_{123456};
  platform::ScopedClock scoped_{clock_};
  sim::ScopedSimDriver no_cameras_;
};

TEST_F(RegistryTest, IdIsTickPlusRandomPlusCount) {
  InstanceRegistry registry;
  std::srand(99);
  const int random = std::rand();
  std::srand(99);
  const int32_t first = registry.Register();
  EXPECT_EQ(static_cast<int32_t>(123456u + static_cast<uint32_t>(random)), first);
  ASSERT_EQ(1, registry.Release(first));

  const int32_t a = registry.Register();
  const int32_t b = registry.Register();
  // Building an instance sleeps on the clock (camera set-up): hold the tick.
  clock_.Set(123456);
  std::srand(99);
  const int32_t third = registry.Register();
  EXPECT_EQ(first + 2, third);  // same tick and random, two instances registered
  for (int32_t id : {a, b, third}) EXPECT_EQ(1, registry.Release(id));
}

TEST_F(RegistryTest, ZeroOrDuplicateIdsAreFormedAgain) {
  InstanceRegistry registry;
  // Tick chosen so that tick + random wraps to exactly 0.
  std::srand(5);
  const int random = std::rand();
  clock_.Set(0u - static_cast<uint32_t>(random));
  std::srand(5);
  const int32_t id = registry.Register();
  EXPECT_NE(0, id);

  // Same tick and random with one instance registered: tick + random + 1 = 1.
  clock_.Set(0u - static_cast<uint32_t>(random));
  std::srand(5);
  const int32_t one = registry.Register();
  EXPECT_EQ(1, one);
  // Again with the count now 2 gives 2; register a third with a tick that
  // would collide with `one` (tick + random + 2 == 1).
  clock_.Set(0u - static_cast<uint32_t>(random) - 1u);
  std::srand(5);
  const int32_t other = registry.Register();
  EXPECT_NE(one, other);
  EXPECT_NE(0, other);
  EXPECT_EQ(3u, registry.chain().count());
  for (int32_t i : {id, one, other}) EXPECT_EQ(1, registry.Release(i));
}

TEST_F(RegistryTest, ReleaseRemovesOnceAndRingRestartsEmpty) {
  InstanceRegistry registry;
  const int32_t id = registry.Register();
  ASSERT_NE(0, id);
  EXPECT_TRUE(registry.Acquire(id));
  EXPECT_EQ(1, registry.Release(id));
  EXPECT_FALSE(registry.Acquire(id));
  EXPECT_EQ(0, registry.Release(id));
  EXPECT_EQ(0u, registry.chain().count());
  EXPECT_EQ(nullptr, registry.chain().head());
  const int32_t again = registry.Register();
  EXPECT_EQ(1u, registry.chain().count());
  EXPECT_EQ(1, registry.Release(again));
}

TEST_F(RegistryTest, FailedConstructionRegistersNothing) {
  InstanceRegistry registry([]() -> std::unique_ptr<CKolThermo> { return nullptr; });
  EXPECT_EQ(0, registry.Register());
  EXPECT_EQ(0u, registry.chain().count());
}

TEST(RegistryConcurrencyTest, ReleaseWaitsForCallsInFlight) {
  InstanceRegistry registry;
  const int32_t id = registry.Register();
  ASSERT_NE(0, id);
  std::atomic<bool> released{false};
  std::thread releaser;
  {
    InstanceLease lease = registry.Acquire(id);
    ASSERT_TRUE(lease);
    releaser = std::thread([&] {
      EXPECT_EQ(1, registry.Release(id));
      released = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // The instance stays alive and usable while this call holds it.
    EXPECT_FALSE(released.load());
    EXPECT_EQ(384, (*lease).GetParam(1));
    // New calls on the ID are refused while it is being released.
    EXPECT_FALSE(registry.Acquire(id));
  }
  releaser.join();
  EXPECT_TRUE(released.load());
  EXPECT_EQ(0u, registry.chain().count());
}

TEST(RegistryConcurrencyTest, ManyThreadsRegisterUseAndReleaseTheirOwnInstances) {
  InstanceRegistry registry;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 10; ++i) {
        const int32_t id = registry.Register();
        if (id == 0) {
          ++failures;
          continue;
        }
        if (InstanceLease lease = registry.Acquire(id); !lease || (*lease).GetParam(2) != 288) {
          ++failures;
        }
        if (registry.Release(id) != 1) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(0u, registry.chain().count());
}

}  // namespace
}  // namespace kt
