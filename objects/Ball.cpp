#include "objects/Ball.h"

Ball::Ball(float) {}
void Ball::setAcceleration(float, float) {}
void Ball::updateWithDiffTime(float) {}
void Ball::render() {}
