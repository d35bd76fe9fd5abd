#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "GLRecorder.h"
#include "objects/Ball.h"

namespace {

std::vector<std::string> drawnBy(Ball& ball) {
  gl::reset();
  ball.render();
  std::vector<std::string> out;
  for (const gl::Call& call : gl::calls()) out.push_back(call.str());
  return out;
}

TEST(BallRender, TexturedSphereOneRadiusAboveItsFloorPoint) {
  Ball ball(0.5f);
  const std::vector<std::string> materials = {
      "glMaterialfv(GL_FRONT, GL_AMBIENT, 0.100000001, 0.100000001, 0.100000001, 0)",
      "glMaterialfv(GL_FRONT, GL_DIFFUSE, 1, 1, 1, 1)"};
  EXPECT_EQ(drawnBy(ball), (std::vector<std::string>{
                               "glPushMatrix()", "glTranslatef(0, 0.5, 0)",
                               "glMultMatrixf(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)",
                               "glShadeModel(GL_FLAT)", "gluNewQuadric()",
                               "gluQuadricTexture(1)", materials[0], materials[1], "gluSphere(0.5, 24, 16)",
                               "gluDeleteQuadric()", "glPopMatrix()"}));
  // Left behind: flat shading, the matrix as it was, nothing enabled or bound.
  EXPECT_EQ(gl::state().shadeModel, GLenum(GL_FLAT));
  EXPECT_EQ(gl::state().modelview, std::vector<gl::Matrix>{gl::State::identity()});
  EXPECT_TRUE(gl::state().enabled.empty());
  EXPECT_EQ(gl::state().boundTexture2D, 0u);

  // Without a quadric only the sphere is missing.
  gl::reset();
  gl::state().newQuadricFails = true;
  ball.render();
  EXPECT_EQ(gl::names(), (std::vector<std::string>{"glPushMatrix", "glTranslatef", "glMultMatrixf", "glShadeModel",
                                                   "gluNewQuadric", "glMaterialfv", "glMaterialfv", "glPopMatrix"}));
}

}  // namespace
