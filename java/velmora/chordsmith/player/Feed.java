package velmora.chordsmith.player;

import velmora.chordsmith.audio.Audio;

/**
 * Reads a recording for the engine, hop by hop, from wherever the listener is: through an A-B
 * loop and across seeks, with every jump crossfaded so the engine never sees a step in its input.
 *
 * <p>A jump plays the material it leaves and the material it lands on together for
 * {@code fadeFrames} frames, the one fading out as the other fades in with equal power (cos and
 * sin of a quarter turn): two different moments of music are uncorrelated, so their powers add,
 * and an equal-power fade keeps the level steady through the join. A loop's join is centred on
 * its marks: the fade runs from half a fade before B (and before A) to half a fade after, so one
 * pass through the loop lasts exactly B - A frames.
 *
 * <p>Positions are input frames and may lie outside the recording: before 0 and past the end it
 * reads silence. Used by the audio thread only.
 */
final class Feed {
  private final short[] samples;
  private final int channels;
  private final long frames;
  private final int fadeFrames;

  /** The next frame of the material being played (the one fading in, during a jump). */
  private long position;
  /** The material fading out, while {@code fadeDone < fadeFrames}. */
  private long leaving;
  private int fadeDone;
  private boolean fading;

  private Loop loop = Loop.EMPTY;
  private long loopEnd;  // where the join into A starts
  private boolean loopPlays;
  /** True while the position lies before the join: only a crossing from below loops. */
  private boolean armed;
  private int passes;

  Feed(Audio track, int fadeFrames) {
    this.samples = track.samples;
    this.channels = track.channels;
    this.frames = track.frames;
    this.fadeFrames = Math.max(2, fadeFrames & ~1);
  }

  long position() { return position; }

  /** Completed passes through the loop since it was set or the listener last moved. */
  int passes() { return passes; }

  /**
   * The loop to play, from the next frame on. A new loop whose end the feed has already passed
   * jumps to A at once: the listener marked B where they are, and wants to go round.
   */
  void setLoop(Loop newLoop, int sampleRate) {
    if (newLoop.equals(loop)) return;
    loop = newLoop;
    loopPlays = newLoop.plays(sampleRate);
    passes = 0;
    if (!loopPlays) return;
    loopEnd = newLoop.b() - fadeFrames / 2;
    armed = position < loopEnd;
    if (!armed) jump(newLoop.a() - fadeFrames / 2);
  }

  /** Crossfades from the current position to {@code target}. */
  void seek(long target) {
    passes = 0;
    jump(target);
  }

  /** Moves to {@code target} without a fade: for a feed whose output nobody hears yet. */
  void moveTo(long target) {
    passes = 0;
    fading = false;
    position = target;
    armed = loopPlays && position < loopEnd;
  }

  /**
   * The input frame that the next sample read stands for: the material that dominates it, so the
   * one fading in once the fade is half done.
   */
  long label() { return fading && 2 * fadeDone < fadeFrames ? leaving : position; }

  /** True once the position has passed the end of the recording and no fade is under way. */
  boolean ended() { return !fading && position >= frames; }

  /** Fills {@code count} frames of {@code out} (interleaved as the recording is). */
  void read(short[] out, int count) {
    for (int i = 0; i < count; i++) {
      if (loopPlays) {
        if (armed && !fading && position >= loopEnd) {
          jump(loop.a() - fadeFrames / 2);
          passes++;
        }
        armed = position < loopEnd;
      }
      int o = i * channels;
      if (!fading) {
        for (int c = 0; c < channels; c++) out[o + c] = sample(position, c);
      } else {
        double angle = (fadeDone + 0.5) / fadeFrames * (Math.PI / 2);
        double out1 = Math.cos(angle);
        double in1 = Math.sin(angle);
        for (int c = 0; c < channels; c++) {
          double mixed = out1 * sample(leaving, c) + in1 * sample(position, c);
          out[o + c] = (short) Math.max(-32768, Math.min(32767, Math.round(mixed)));
        }
        leaving++;
        if (++fadeDone == fadeFrames) fading = false;
      }
      position++;
    }
  }

  private void jump(long target) {
    // A jump during a fade lets the half-faded material go at once; only a listener seeking
    // twice within a few milliseconds can cause that.
    leaving = position;
    position = target;
    fadeDone = 0;
    fading = true;
  }

  private short sample(long frame, int channel) {
    if (frame < 0 || frame >= frames) return 0;
    return samples[(int) (frame * channels + channel)];
  }
}
