/* Prints the level of raw 48 kHz stereo float audio (as SDL's disk driver writes it), one
 * line per 10 ms: the time in ms and the RMS in dB (-200 for digital silence).
 * Usage: levels FILE */
#include <math.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    enum { kWindow = 480 };
    float frame[2];
    double sum = 0.0;
    long frames = 0, windows = 0;
    while (fread(frame, sizeof frame, 1, in) == 1) {
        sum += (double)frame[0] * frame[0] + (double)frame[1] * frame[1];
        if (++frames == kWindow) {
            const double rms = sqrt(sum / (2.0 * kWindow));
            printf("%ld %.1f\n", windows * 10, rms > 0.0 ? 20.0 * log10(rms) : -200.0);
            ++windows;
            frames = 0;
            sum = 0.0;
        }
    }
    fclose(in);
    return 0;
}
