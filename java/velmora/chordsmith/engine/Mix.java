package velmora.chordsmith.engine;

import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.EqCurve;
import velmora.chordsmith.VoiceFilter;

/**
 * The mixer settings of a stretch, in a listener's units: the preamp in dB (0 plays as loud as
 * the input, the engine's own gain made up), the balance from -100 (the left channel on both
 * sides) to 100 (the right) or a fold to mono, voice removal with its filter and amount, and an
 * equaliser curve, and the stereo link (the channels stretched together, keeping the stereo image).
 * A null filter or curve leaves that stage off.
 */
public record Mix(double preampDb, boolean mono, int balance, VoiceFilter voice, double voiceAmount, EqCurve eq,
                  boolean stereoLink) {
  /**
   * Writes every mixer setting into an engine set up for frames of {@code frameSize} at
   * {@code sampleRate}; after its set-up, since that sizes the equaliser's gains.
   */
  public void apply(Engine engine, int frameSize, int sampleRate) {
    engine.setPreamp(preampGain(preampDb));
    engine.setPanning(mono || balance != 0, mono, panningLevel(balance));
    if (voice != null) {
      engine.setVoiceRemoval(voice.a, voice.b, (float) voiceAmount);
    } else {
      engine.setVoiceRemoval(null, null, 0f);
    }
    // One gain per bin of the positive half of the frame.
    engine.setEqualiser(eq == null ? null : eq.binGains(frameSize, sampleRate, frameSize / 2));
    engine.setStereoLink(stereoLink);
  }

  /** The engine's linear preamp for {@code db}: 0 dB plays as loud as the input. */
  public static float preampGain(double db) { return (float) (Math.pow(10, db / 20) / EngineFacts.STEADY_GAIN); }

  /** Balance -100..100 onto the engine's 0..100, where 0 puts the right input on both sides. */
  public static int panningLevel(int balance) { return (int) Math.round(50 - balance / 2.0); }
}
