#include <gtest/gtest.h>

#include <cstring>

#include "objects/Ball.h"

namespace {

constexpr float kPi = 3.14159265f;

Ball::Vector positionOf(const Ball& ball) {
  Ball::Vector p;
  ball.getPosition(&p);
  return p;
}

// Which way the top of the ball faces after one 1 s step of acceleration (x, z) from rest.
Ball::Vector topAfter(float x, float z) {
  Ball ball(0.5f);
  ball.setAcceleration(x, z);
  ball.updateWithDiffTime(1.0f);
  const quat_t q = ball.getRotation();
  float m[16];
  QuatCreateMatrix(&q, m);
  return {m[4], m[5], m[6]};
}

TEST(Ball, ZeroStepChangesNothingBitForBit) {
  Ball ball(0.5f);
  ball.setAcceleration(3.0f, -2.0f);
  for (int i = 0; i < 7; ++i) ball.updateWithDiffTime(0.13f);
  const Ball before = ball;
  ball.updateWithDiffTime(0.0f);
  EXPECT_EQ(std::memcmp(&before, &ball, sizeof ball), 0);
}

TEST(Ball, MovesSemiImplicitlyWithDampingAndNoWalls) {
  Ball ball(0.5f);
  ball.setAcceleration(5.0f, 0.0f);
  ball.updateWithDiffTime(1.0f);
  EXPECT_EQ(positionOf(ball).x, 5.0f);  // moved with the new velocity, not the old 0
  ball.setAcceleration(0.0f, 0.0f);
  ball.updateWithDiffTime(0.5f);
  EXPECT_FLOAT_EQ(ball.getVelocity().x, 5.0f * (1 - 0.4f * 0.5f));  // coasting loses 0.4 v per second

  Ball held(0.5f);
  held.setAcceleration(5.0f, 0.0f);
  for (int i = 0; i < 30 * 60; ++i) held.updateWithDiffTime(1.0f / 60.0f);
  EXPECT_NEAR(held.getVelocity().x, 12.5f, 0.01f);
  const Ball::Vector p = positionOf(held);
  EXPECT_GT(p.x, 300.0f);  // far past the floor's edge at x = 5
  EXPECT_EQ(p.y, 0.0f);
  EXPECT_EQ(p.z, 0.0f);
}

TEST(Ball, RollsOneTurnPerCircumferenceWithoutSliding) {
  Ball ball(0.5f);
  ball.setAcceleration(0.0f, kPi);  // one circumference along +z: a full turn about +x
  ball.updateWithDiffTime(1.0f);
  const quat_t q = ball.getRotation();
  EXPECT_NEAR(q.x, 0.0f, 1e-6);
  EXPECT_NEAR(q.w, -1.0f, 1e-6);

  // Quarter circumferences: the top rolls forward. Both at once: the z roll comes first, and the
  // -z roll then keeps the top at +z (the other order would leave it at +x).
  const struct { float x, z, topX, topZ; } cases[] = {{kPi / 4, 0, 1, 0}, {0, kPi / 4, 0, 1}, {kPi / 4, kPi / 4, 0, 1}};
  for (const auto& c : cases) {
    const Ball::Vector top = topAfter(c.x, c.z);
    EXPECT_NEAR(top.x, c.topX, 1e-6) << c.x << ", " << c.z;
    EXPECT_NEAR(top.y, 0.0f, 1e-6) << c.x << ", " << c.z;
    EXPECT_NEAR(top.z, c.topZ, 1e-6) << c.x << ", " << c.z;
  }
}

TEST(Ball, WithoutAPositiveRadiusItSlidesWithoutTurning) {
  for (const float radius : {0.0f, -1.0f}) {
    Ball ball(radius);
    ball.setAcceleration(2.0f, 3.0f);
    ball.updateWithDiffTime(0.5f);
    EXPECT_GT(positionOf(ball).x, 0.0f);
    EXPECT_EQ(ball.getRotation().w, 1.0f);
    EXPECT_EQ(ball.getRotation().x, 0.0f);
  }
}

}  // namespace
