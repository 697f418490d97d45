package velmora.chordsmith.audio;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.file.Path;
import java.util.Arrays;

/**
 * A recording in memory as the engine takes it: signed 16-bit PCM, mono or interleaved stereo
 * (left at 2i, right at 2i + 1). For what fits in memory (the example song, tests, a player that
 * wants to seek anywhere); a recording of any length streams through {@link AudioInput}
 * instead.
 */
public final class Audio {
  public final short[] samples;
  public final int channels;
  public final int sampleRate;
  public final long frames;

  public Audio(short[] samples, int channels, int sampleRate) {
    if (channels != 1 && channels != 2) throw new IllegalArgumentException("channels " + channels);
    this.samples = samples;
    this.channels = channels;
    this.sampleRate = sampleRate;
    this.frames = samples.length / channels;
  }

  public double seconds() { return (double) frames / sampleRate; }

  /** Reads a whole recording, in any format {@link AudioInput} reads, into memory. */
  public static Audio read(Path path) throws FileException {
    try (AudioInput in = AudioInput.open(path)) {
      int channels = in.channels();
      short[] samples = new short[0];
      int frames = 0;
      while (true) {
        int room = Math.max(1 << 16, frames);
        if ((long) frames + room > Integer.MAX_VALUE / channels) {
          throw new FileException(path + " is too long to hold in memory");
        }
        samples = Arrays.copyOf(samples, (frames + room) * channels);
        int n = in.read(samples, frames, room);
        frames += n;
        if (n < room) break;
      }
      if (frames == 0) throw new FileException(path + " contains no audio");
      return new Audio(Arrays.copyOf(samples, frames * channels), channels, in.sampleRate());
    }
  }

  /** The recording as a stream, from its beginning. */
  public PcmSource source() {
    return new MemorySource(samples, frames, channels, sampleRate);
  }

  /** This recording as a 16-bit WAV file on {@code out}. */
  public void writeWav(OutputStream out) throws IOException {
    try {
      AudioWriter wav = AudioWriter.toStream(out, "the WAV", OutputFormat.WAV, sampleRate, channels, 16, frames);
      wav.write(samples, 0, (int) frames);
      wav.finish();
    } catch (FileException e) {
      throw new IOException(e.getMessage(), e);
    }
  }
}
