package velmora.chordsmith.audio;

/**
 * A stream of 16-bit PCM frames read in order: a recording being decoded, a passage of one, a
 * recording in memory. A frame is {@link #channels()} signed 16-bit samples, interleaved (left
 * first), the engine's own units. Reads block until the frames asked for are there or the stream
 * has ended: a short read means the end, and every read after it returns 0.
 */
public interface PcmSource extends AutoCloseable {
  /** 1 or 2. */
  int channels();

  int sampleRate();

  /**
   * Reads up to {@code frames} frames into {@code into}, starting at frame {@code offset} (sample
   * {@code offset × channels}); returns how many, fewer only at the end.
   */
  int read(short[] into, int offset, int frames) throws FileException;

  /** Passes over up to {@code frames} frames; returns how many, fewer only at the end. */
  default long skip(long frames) throws FileException {
    short[] scratch = new short[4096 * channels()];
    long done = 0;
    while (done < frames) {
      int n = read(scratch, 0, (int) Math.min(4096, frames - done));
      done += n;
      if (n == 0) break;
    }
    return done;
  }

  /** Releases what the stream holds (files, child processes); reading after it is an error. */
  @Override
  void close();
}
