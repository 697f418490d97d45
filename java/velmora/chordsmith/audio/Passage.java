package velmora.chordsmith.audio;

import java.util.Arrays;

/**
 * A passage of a recording as one stream for the engine: frames [start, end) played
 * {@code loops} times, with what precedes the start in front, so that the engine is already
 * primed when the passage begins (its first frames analysed from real sound, not from silence,
 * so the passage does not fade in).
 *
 * <p>The stream: {@link #lead} frames before the passage (silence, then up to {@code priming}
 * frames of the recording before the start; the silence makes the lead a whole number of
 * {@code alignment} frames), then the passage once per loop. Where one loop joins the next,
 * the last {@code crossfade} frames of the passage fade out while the frames leading into its
 * start fade in (equal-power, a quarter sine and cosine), so that the join is as smooth as the
 * recording itself: after it, the start follows the very sound that preceded it in the
 * recording. The stream ends with the last loop, at the end of the passage.
 *
 * <p>Each loop after the first reads the recording again through the {@link Opener}; a
 * recording that can be read only once (standard input) is kept in memory from the start of
 * the crossfade to the end of the passage instead.
 */
public final class Passage implements PcmSource {
  /** Opens the recording afresh, from its beginning. */
  public interface Opener {
    PcmSource open() throws FileException;
  }

  private final Opener opener;
  private final int channels;
  private final int sampleRate;
  private final long start;
  /** The passage's end in recording frames, or -1 for the end of the recording. */
  private final long end;
  private final int loops;
  private final int crossfade;
  private final long silence;
  private final long lead;

  private PcmSource current;
  /** Frames of the stream delivered so far. */
  private long position;
  /** Recording frames read from {@link #current}: its position in the recording. */
  private long at;
  private int loop = 1;
  private boolean ended;
  /** The passage's length, known after the first loop (or from {@code end}). */
  private long length = -1;
  /** The crossfade frames leading into the start, zeros before the recording's beginning. */
  private final short[] leadIn;
  /** Frames held back at the end of a loop that continues: the last {@code crossfade} read. */
  private short[] held = new short[0];
  private int heldFrames;
  /** The held frames are the loop's crossfaded end, delivered before the next loop starts. */
  private boolean draining;
  /** The passage in memory, for a recording that cannot be opened again; null otherwise. */
  private short[] kept;
  private long keptFrames;

  /**
   * The passage [{@code start}, {@code end}) of {@code first}, a recording just opened
   * (position 0), played {@code loops} times; {@code end} -1 runs to the recording's end.
   * {@code opener} opens it again for each further loop; null keeps the passage in memory.
   */
  public Passage(PcmSource first, Opener opener, long start, long end, int loops, int priming, int alignment,
                 int crossfade) {
    if (start < 0 || (end >= 0 && end <= start) || loops < 1 || alignment < 1) {
      throw new IllegalArgumentException("passage " + start + " to " + end + ", " + loops + " loops");
    }
    this.current = first;
    this.opener = opener;
    this.channels = first.channels();
    this.sampleRate = first.sampleRate();
    this.start = start;
    this.end = end;
    this.loops = loops;
    this.crossfade = loops > 1 ? crossfade : 0;
    // The crossfade's lead-in is read while priming, so priming covers it.
    long primed = Math.min(start, Math.max(priming, this.crossfade));
    this.silence = (alignment - primed % alignment) % alignment;
    this.lead = silence + primed;
    this.leadIn = new short[this.crossfade * channels];
    if (end >= 0) length = end - start;
    if (loops > 1 && opener == null) kept = new short[0];
  }

  @Override
  public int channels() { return channels; }

  @Override
  public int sampleRate() { return sampleRate; }

  /** Frames of the stream before the passage starts: a whole number of the alignment. */
  public long lead() { return lead; }

  /** The passage's length in frames, or -1 while unknown (until the first loop has ended). */
  public long length() { return length; }

  /** Frames of the stream delivered so far. */
  public long position() { return position; }

  @Override
  public int read(short[] into, int offset, int frames) throws FileException {
    int done = 0;
    while (done < frames && !ended) {
      int n = next(into, offset + done, frames - done);
      done += n;
      position += n;
    }
    return done;
  }

  /** Delivers the next frames from wherever the stream is; 0 only when it switched state or ended. */
  private int next(short[] into, int offset, int frames) throws FileException {
    if (position < silence) {
      int n = (int) Math.min(frames, silence - position);
      Arrays.fill(into, offset * channels, (offset + n) * channels, (short) 0);
      return n;
    }
    if (at < start) return prime(into, offset, frames);
    return loop == loops ? lastLoop(into, offset, frames) : loopThatContinues(into, offset, frames);
  }

  /** The recording up to the start: skipped to the priming, then delivered; the crossfade's lead-in kept. */
  private int prime(short[] into, int offset, int frames) throws FileException {
    long primeFrom = start - (lead - silence);
    if (at < primeFrom) {
      long skipped = current.skip(primeFrom - at);
      at += skipped;
      if (at < primeFrom) throw pastTheEnd();
      return 0;
    }
    int want = (int) Math.min(frames, start - at);
    int n = current.read(into, offset, want);
    keepLeadIn(into, offset, n);
    at += n;
    if (n < want) throw pastTheEnd();
    return n;
  }

  private FileException pastTheEnd() {
    return new FileException(
        "the recording ends at " + clock(at) + ", before the passage starts at " + clock(start));
  }

  private String clock(long frames) {
    double s = (double) frames / sampleRate;
    return String.format(java.util.Locale.ROOT, "%d:%04.1f", (long) (s / 60), s % 60);
  }

  /** Keeps the recording frames [start - crossfade, start) among those just read. */
  private void keepLeadIn(short[] from, int offset, int n) {
    for (int i = 0; i < n; i++) {
      long frame = at + i;
      long slot = frame - (start - crossfade);
      if (slot >= 0 && slot < crossfade) {
        System.arraycopy(from, (offset + i) * channels, leadIn, (int) slot * channels, channels);
      }
    }
  }

  /** How many frames of the passage are left in the current loop's source, at most {@code frames}. */
  private int wanted(int frames) {
    return (int) (end < 0 ? frames : Math.min(frames, end - at));
  }

  private int lastLoop(short[] into, int offset, int frames) throws FileException {
    int want = wanted(frames);
    int n = want == 0 ? 0 : current.read(into, offset, want);
    at += n;
    if (n < want || at == end) ended = true;
    if (ended && length < 0) length = at - start;
    return n;
  }

  /**
   * A loop with another after it: delivered {@code crossfade} frames behind what is read, so that
   * its end can be faded into the lead-in when the passage ends.
   */
  private int loopThatContinues(short[] into, int offset, int frames) throws FileException {
    if (draining) return drain(into, offset, frames);
    int want = wanted(frames);
    // Read behind the held frames, then deliver all but the last crossfade frames of both.
    int total = heldFrames + want;
    if (held.length < total * channels) held = Arrays.copyOf(held, total * channels);
    int n = want == 0 ? 0 : current.read(held, heldFrames, want);
    keep(held, heldFrames, n);
    at += n;
    total = heldFrames + n;
    boolean passageEnded = n < want || at == end;
    if (!passageEnded) {
      int deliver = Math.max(0, total - crossfade);
      System.arraycopy(held, 0, into, offset * channels, deliver * channels);
      System.arraycopy(held, deliver * channels, held, 0, (total - deliver) * channels);
      heldFrames = total - deliver;
      return deliver;
    }
    if (length < 0) length = at - start;
    if (length < 2L * crossfade) {
      throw new FileException("the passage is too short to loop: it must last at least "
          + (2 * crossfade * 1000 / sampleRate) + " ms");
    }
    // The passage ended here, with at least the crossfade held: its last frames fade out as
    // the lead-in fades in, and everything held is delivered before the next loop starts.
    for (int k = 0; k < crossfade; k++) crossfadeFrame(held, total - crossfade + k, k);
    heldFrames = total;
    draining = true;
    return drain(into, offset, frames);
  }

  /** Delivers the held end of a loop; once it is all out, the next loop starts. */
  private int drain(short[] into, int offset, int frames) throws FileException {
    int deliver = Math.min(frames, heldFrames);
    System.arraycopy(held, 0, into, offset * channels, deliver * channels);
    System.arraycopy(held, deliver * channels, held, 0, (heldFrames - deliver) * channels);
    heldFrames -= deliver;
    if (heldFrames == 0) {
      draining = false;
      nextLoop();
    }
    return deliver;
  }

  /** Frame {@code i} of {@code frames} becomes frame k of the crossfade: the passage out, the lead-in in. */
  private void crossfadeFrame(short[] frames, int i, int k) {
    double angle = Math.PI / 2 * (k + 0.5) / crossfade;
    double out = Math.cos(angle);
    double in = Math.sin(angle);
    for (int c = 0; c < channels; c++) {
      long v = Math.round(out * frames[i * channels + c] + in * leadIn[k * channels + c]);
      frames[i * channels + c] = (short) Math.max(Short.MIN_VALUE, Math.min(Short.MAX_VALUE, v));
    }
  }

  /** Keeps frames read in the first loop when the recording cannot be opened again. */
  private void keep(short[] from, int offset, int n) {
    if (kept == null || loop > 1) return;
    int needed = (int) ((keptFrames + n) * channels);
    if (kept.length < needed) kept = Arrays.copyOf(kept, Math.max(needed, 2 * kept.length));
    System.arraycopy(from, offset * channels, kept, (int) keptFrames * channels, n * channels);
    keptFrames += n;
  }

  /** Starts the next loop at the passage's start: the recording opened again, or the copy in memory. */
  private void nextLoop() throws FileException {
    loop++;
    if (kept != null) {
      current.close();
      current = new MemorySource(kept, keptFrames, channels, sampleRate);
      at = start;
      return;
    }
    current.close();
    current = opener.open();
    long skipped = current.skip(start);
    at = skipped;
    if (skipped < start) throw pastTheEnd();
  }

  @Override
  public void close() {
    current.close();
  }
}
