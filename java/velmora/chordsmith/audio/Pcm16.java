package velmora.chordsmith.audio;

import javax.sound.sampled.AudioFormat;

/**
 * Signed 16-bit little-endian PCM, the engine's sample format, as bytes: what WAV files hold
 * and what javax.sound.sampled hands over. Sample i sits in bytes 2i (low) and 2i + 1 (high).
 */
public final class Pcm16 {
  private Pcm16() {}

  /** The format of {@code channels} interleaved channels at {@code sampleRate}. */
  public static AudioFormat format(int sampleRate, int channels) {
    return new AudioFormat(
        AudioFormat.Encoding.PCM_SIGNED, sampleRate, 16, channels, 2 * channels, sampleRate, false);
  }

  /** Samples {@code from} .. {@code from + count - 1} as 2 × count bytes. */
  public static byte[] pack(short[] samples, int from, int count) {
    byte[] bytes = new byte[2 * count];
    pack(samples, from, count, bytes);
    return bytes;
  }

  /** The first {@code count} samples of {@code bytes}, which holds at least 2 × count. */
  public static short[] unpack(byte[] bytes, int count) {
    short[] samples = new short[count];
    unpack(bytes, count, samples);
    return samples;
  }

  /** The first {@code count} samples of {@code bytes} into {@code samples}. */
  public static void unpack(byte[] bytes, int count, short[] samples) {
    for (int i = 0; i < count; i++) samples[i] = (short) ((bytes[2 * i] & 0xff) | (bytes[2 * i + 1] << 8));
  }

  /** Samples {@code from} .. {@code from + count - 1} into {@code bytes} from index 0. */
  public static void pack(short[] samples, int from, int count, byte[] bytes) {
    for (int i = 0; i < count; i++) {
      short s = samples[from + i];
      bytes[2 * i] = (byte) s;
      bytes[2 * i + 1] = (byte) (s >> 8);
    }
  }
}
