#pragma once

#include <memory>

#include "platform/window/Application.h"
#include "platform/Rect.h"

class PartyFrames;
class Scene;

// The GL view hosting all drawing. It owns the scene and, while full-screen mode lasts, the
// full-screen context. Started, it prepares the scene and takes over the main display; when
// that is refused it stays in its window and draws whenever the window needs it.
class OpenGLView final : public platform::ViewHandlers {
 public:
  // Logs the renderer, opens the view's window and context, creates the scene. Null when no
  // window with a GL context can be opened.
  static std::unique_ptr<OpenGLView> create(Rect frame);
  ~OpenGLView() override;

  platform::GLSurface& surface() { return *view_; }

  void prepareOpenGL() override;
  void reshape() override;
  void drawRect(Rect dirty) override;
  void keyDown(const KeyEvent& event) override;
  void keyUp(const KeyEvent& event) override;

  // Full screen on the main display with a frame loop of its own until a key ends the demo;
  // returns only when the display cannot be taken.
  void goFullScreen();
  // One frame of full-screen mode: the events since the last frame, then the scene drawn and
  // shown. False, with nothing drawn, once a key has ended full-screen mode.
  bool fullScreenFrame();

  // The scene as it runs, for inspection (the web page's probes read the ball).
  const Scene& getScene() const { return *scene; }

 private:
  OpenGLView() = default;
  Rect fullScreenBounds() const;
  void renderScene();
  void setFullScreenViewport(Rect rect);

  std::unique_ptr<platform::GLSurface> view_;  // the window and its own context
  std::unique_ptr<PartyFrames> party;  // when asked to join a party: outlives the scene's music
  std::unique_ptr<Scene> scene;
  std::unique_ptr<platform::GLSurface> fullScreenContext;
  bool stayInFullScreenMode = false;
  Rect viewport{};  // the full-screen viewport, kept to see when the surface's size changes
};
