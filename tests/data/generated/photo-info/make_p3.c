// Writes a Display P3 profile (DCI-P3 primaries, D65 white, the sRGB tone curve)
// with lcms2: the profile the camera photos here carry.
#include <lcms2.h>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    const cmsCIExyY white = {0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
    const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
    cmsToneCurve* curve = cmsBuildParametricToneCurve(NULL, 4, srgb);
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    const int ok = profile != NULL && cmsSaveProfileToFile(profile, argv[1]);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return ok ? 0 : 1;
}
