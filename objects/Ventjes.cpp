#include "objects/Ventjes.h"

Ventjes::Ventjes() = default;
Ventjes::~Ventjes() = default;
void Ventjes::prepare() {}
void Ventjes::updateWithDiffTime(float) {}
void Ventjes::render() {}
