#pragma once

// Marker for the things the scene advances and draws: prepare (load textures, once, with the
// GL context current), updateWithDiffTime(dt) and render. It declares no operations itself.
struct SceneObject {};
