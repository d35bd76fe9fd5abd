#include "GLEnumNames.h"

#include <GL/gl.h>

#include <map>
#include <set>
#include <utility>

namespace gl {
namespace {

#define NAMED(e) {e, #e}

// Every value here is unique among the named enums, so one table serves all argument kinds but
// two: primitive modes and the blend factors GL_ZERO and GL_ONE, which reuse small numbers.
const std::map<GLenum, const char*> kEnums = {
    NAMED(GL_TEXTURE_2D),       NAMED(GL_BLEND),           NAMED(GL_DEPTH_TEST),
    NAMED(GL_CULL_FACE),        NAMED(GL_LIGHTING),        NAMED(GL_PROJECTION),
    NAMED(GL_MODELVIEW),        NAMED(GL_SRC_ALPHA),       NAMED(GL_ONE_MINUS_SRC_ALPHA),
    NAMED(GL_UNSIGNED_BYTE),    NAMED(GL_RGB),             NAMED(GL_RGBA),
    NAMED(GL_LUMINANCE_ALPHA),  NAMED(GL_UNPACK_ALIGNMENT), NAMED(GL_UNPACK_ROW_LENGTH),
    NAMED(GL_MAX_TEXTURE_SIZE), NAMED(GL_VIEWPORT),        NAMED(GL_TEXTURE_MIN_FILTER),
    NAMED(GL_TEXTURE_MAG_FILTER), NAMED(GL_TEXTURE_WRAP_S), NAMED(GL_TEXTURE_WRAP_T),
    NAMED(GL_LINEAR),           NAMED(GL_CLAMP),           NAMED(GL_REPEAT),
    NAMED(GL_TEXTURE_ENV),      NAMED(GL_TEXTURE_ENV_MODE), NAMED(GL_MODULATE),
    NAMED(GL_FRONT),            NAMED(GL_AMBIENT),         NAMED(GL_DIFFUSE),
    NAMED(GL_FLAT),             NAMED(GL_SMOOTH),
};
const std::map<GLenum, const char*> kPrimitives = {NAMED(GL_QUADS)};
const std::map<GLenum, const char*> kBlendFactors = {NAMED(GL_ZERO), NAMED(GL_ONE)};
const std::pair<GLbitfield, const char*> kClearBits[] = {NAMED(GL_COLOR_BUFFER_BIT), NAMED(GL_DEPTH_BUFFER_BIT)};

#undef NAMED

// Which arguments of each recorded call are enums (glPixelStorei's value, for one, is a number).
const std::map<std::string, std::set<size_t>> kEnumArguments = {
    {"glEnable", {0}},        {"glDisable", {0}},          {"glMatrixMode", {0}},
    {"glBlendFunc", {0, 1}},  {"glBindTexture", {0}},      {"glPixelStorei", {0}},
    {"glTexParameteri", {0, 1, 2}}, {"glTexEnvf", {0, 1, 2}}, {"glTexImage2D", {0, 2, 6, 7}},
    {"glGetIntegerv", {0}},   {"glShadeModel", {0}},       {"glMaterialfv", {0, 1}},
};

std::string lookUp(const std::map<GLenum, const char*>& table, GLenum value) {
  const auto it = table.find(value);
  return it == table.end() ? "" : it->second;
}

std::string clearMask(GLbitfield mask) {
  std::string text;
  for (const auto& [bit, name] : kClearBits) {
    if (!(mask & bit)) continue;
    text += (text.empty() ? "" : " | ") + std::string(name);
    mask &= ~bit;
  }
  return mask == 0 && !text.empty() ? text : "";  // an unnamed bit: the whole mask as a number
}

}  // namespace

std::string enumName(const std::string& function, size_t index, double value) {
  // Only whole, non-negative values can be enums; anything else is printed as it is.
  if (!(value >= 0 && value <= 0xFFFFFFFF) || value != static_cast<double>(static_cast<GLenum>(value))) return "";
  const GLenum e = static_cast<GLenum>(value);
  if (function == "glClear" && index == 0) return clearMask(e);
  if (function == "glBegin" && index == 0) return lookUp(kPrimitives, e);
  const auto arguments = kEnumArguments.find(function);
  if (arguments == kEnumArguments.end() || !arguments->second.count(index)) return "";
  if (function == "glBlendFunc" && kBlendFactors.count(e)) return lookUp(kBlendFactors, e);
  return lookUp(kEnums, e);
}

}  // namespace gl
