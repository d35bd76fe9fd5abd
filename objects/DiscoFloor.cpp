#include "objects/DiscoFloor.h"

DiscoFloor::DiscoFloor(int, int) {}
DiscoFloor::~DiscoFloor() = default;
void DiscoFloor::prepare() {}
void DiscoFloor::updateWithDiffTime(float) {}
void DiscoFloor::render() {}
