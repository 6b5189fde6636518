#include "render/ColourStage.h"

namespace ColourStage {

// Light is handled in units of SDR white (100 nits). Above the knee the
// brightest channel rolls off along an extended Reinhard curve that meets the
// straight line at the knee with the same slope and reaches 1 at the content's
// peak; scaling all three channels by one factor keeps hue and saturation.
// SDR pictures are linearised with the inverse of the BT.709 / BT.2020 camera
// curve they were made with and encoded with it again, so the change of
// primaries is the only change; HDR light leaves through the same curve.
const char *const glsl =
    "uniform float colourMode;\n" // 0 as is, 1 SDR gamut change, 2 PQ, 3 HLG
    "uniform mat3 colourGamut;\n" // source primaries to BT.709, linear light
    "uniform float colourPeak;\n" // brightest light of the content, in SDR whites
    "vec3 sdrToLight(vec3 e) {\n"
    "  e = clamp(e, 0.0, 1.0);\n"
    "  return mix(e / 4.5, pow((e + vec3(0.099)) / 1.099, vec3(1.0 / 0.45)), step(vec3(0.081), e));\n"
    "}\n"
    "vec3 lightToSdr(vec3 l) {\n"
    "  l = clamp(l, 0.0, 1.0);\n"
    "  return mix(4.5 * l, 1.099 * pow(l, vec3(0.45)) - vec3(0.099), step(vec3(0.018), l));\n"
    "}\n"
    "vec3 pqToLight(vec3 e) {\n"
    "  vec3 p = pow(clamp(e, 0.0, 1.0), vec3(1.0 / 78.84375));\n"
    "  vec3 l = pow(max(p - vec3(0.8359375), vec3(0.0)) / (vec3(18.8515625) - 18.6875 * p),\n"
    "               vec3(1.0 / 0.1593017578125));\n"
    "  return 100.0 * l;\n"
    "}\n"
    "vec3 hlgToLight(vec3 e) {\n"
    "  e = clamp(e, 0.0, 1.0);\n"
    "  vec3 low = e * e / 3.0;\n"
    "  vec3 high = (exp((e - vec3(0.55991073)) / 0.17883277) + vec3(0.28466892)) / 12.0;\n"
    "  vec3 scene = mix(low, high, step(vec3(0.5), e));\n"
    "  float y = dot(scene, vec3(0.2627, 0.6780, 0.0593));\n"
    "  return colourPeak * scene * pow(max(y, 1e-6), 0.2);\n" // the reference display's system gamma 1.2
    "}\n"
    "float rollOff(float x) {\n"
    "  const float knee = 0.75;\n"
    "  if (x <= knee || colourPeak <= 1.0) return min(x, 1.0);\n"
    "  float t = (x - knee) / (1.0 - knee);\n"
    "  float p = (colourPeak - knee) / (1.0 - knee);\n"
    "  return knee + (1.0 - knee) * t * (1.0 + t / (p * p)) / (1.0 + t);\n"
    "}\n"
    "vec3 displayColour(vec3 rgb) {\n"
    "  if (colourMode < 0.5) return rgb;\n"
    "  vec3 light;\n"
    "  if (colourMode < 1.5) light = sdrToLight(rgb);\n"
    "  else if (colourMode < 2.5) light = pqToLight(rgb);\n"
    "  else light = hlgToLight(rgb);\n"
    "  light = max(colourGamut * light, vec3(0.0));\n"
    "  if (colourMode > 1.5) {\n"
    "    float brightest = max(max(light.r, light.g), light.b);\n"
    "    if (brightest > 0.0) light *= rollOff(brightest) / brightest;\n"
    "  }\n"
    "  return lightToSdr(light);\n"
    "}\n";

std::string fragmentSource(const char *versionLine, const char *body)
{
    return std::string(versionLine) + glsl + body;
}

namespace {

// Rows of the linear-light BT.2020 to BT.709 matrix (ITU-R BT.2087).
const GLfloat kBt2020ToBt709[9] = {1.6605f, -0.5876f, -0.0728f, -0.1246f, 1.1329f,
                                   -0.0083f, -0.0182f, -0.1006f, 1.1187f};
const GLfloat kIdentity[9] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f};

} // namespace

void apply(GLuint program, const PictureColour &colour)
{
    float mode = 0.0f;
    if (colour.transfer == PictureColour::Pq)
        mode = 2.0f;
    else if (colour.transfer == PictureColour::Hlg)
        mode = 3.0f;
    else if (colour.wideGamut)
        mode = 1.0f;
    glUniform1f(glGetUniformLocation(program, "colourMode"), mode);
    glUniformMatrix3fv(glGetUniformLocation(program, "colourGamut"), 1, GL_TRUE,
                       colour.wideGamut ? kBt2020ToBt709 : kIdentity);
    glUniform1f(glGetUniformLocation(program, "colourPeak"), colour.peakNits / 100.0f);
}

} // namespace ColourStage
