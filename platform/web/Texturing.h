#pragma once

namespace web {

// Turns WebGL's texturing on for the next draw only when it is asked for and the bound texture
// has a picture: desktop GL draws plain colour with an incomplete texture (a picture that failed
// to load), where WebGL would sample black.
void applyTexturing();

}  // namespace web
