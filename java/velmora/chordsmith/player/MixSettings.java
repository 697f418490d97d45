package velmora.chordsmith.player;

import java.util.Arrays;
import velmora.chordsmith.EqCurve;

/**
 * The mix as the listener sets it, in the listener's units: voice removal on or off and its
 * amount (1 cancels a centred voice), the balance from -100 (the left channel on both sides) to
 * 100 (the right), a fold to mono, the equaliser's gain in dB at each of {@link EqCurve#NAMES},
 * the preamp in dB (0 plays as loud as the recording), and the stereo link (on by default: both
 * channels stretched together, keeping the stereo image and the mono sum). Immutable: the window
 * hands a new one to the audio thread for every change.
 */
public record MixSettings(boolean voiceOn, double voiceAmount, int balance, boolean mono, double[] eqDb,
                          double preampDb, boolean stereoLink) {
  public static final MixSettings DEFAULT =
      new MixSettings(false, 1.0, 0, false, new double[EqCurve.NAMES.length], 0, true);

  public MixSettings {
    if (eqDb.length != EqCurve.NAMES.length) throw new IllegalArgumentException("one gain per band");
    eqDb = eqDb.clone();
  }

  @Override
  public double[] eqDb() { return eqDb.clone(); }

  public double eqDb(int band) { return eqDb[band]; }

  /** True when every band is at 0 dB: the equaliser is then switched off. */
  public boolean eqFlat() {
    for (double g : eqDb) {
      if (g != 0) return false;
    }
    return true;
  }

  /** The curve through the bands, or null when flat. */
  public EqCurve eqCurve() {
    if (eqFlat()) return null;
    var points = new java.util.TreeMap<Double, Double>();
    for (int i = 0; i < eqDb.length; i++) points.put(EqCurve.CENTRES[i], eqDb[i]);
    return EqCurve.through(points);
  }

  public MixSettings withVoice(boolean on) {
    return new MixSettings(on, voiceAmount, balance, mono, eqDb, preampDb, stereoLink);
  }

  public MixSettings withVoiceAmount(double amount) {
    return new MixSettings(voiceOn, amount, balance, mono, eqDb, preampDb, stereoLink);
  }

  public MixSettings withBalance(int b) {
    return new MixSettings(voiceOn, voiceAmount, b, mono, eqDb, preampDb, stereoLink);
  }

  public MixSettings withMono(boolean m) {
    return new MixSettings(voiceOn, voiceAmount, balance, m, eqDb, preampDb, stereoLink);
  }

  public MixSettings withEq(int band, double db) {
    double[] gains = eqDb.clone();
    gains[band] = db;
    return new MixSettings(voiceOn, voiceAmount, balance, mono, gains, preampDb, stereoLink);
  }

  public MixSettings withPreamp(double db) {
    return new MixSettings(voiceOn, voiceAmount, balance, mono, eqDb, db, stereoLink);
  }

  public MixSettings withStereoLink(boolean on) {
    return new MixSettings(voiceOn, voiceAmount, balance, mono, eqDb, preampDb, on);
  }

  @Override
  public boolean equals(Object o) {
    return o instanceof MixSettings m && voiceOn == m.voiceOn && voiceAmount == m.voiceAmount
        && balance == m.balance && mono == m.mono && Arrays.equals(eqDb, m.eqDb) && preampDb == m.preampDb
        && stereoLink == m.stereoLink;
  }

  @Override
  public int hashCode() { return Arrays.hashCode(eqDb) * 31 + Boolean.hashCode(voiceOn) + balance; }
}
