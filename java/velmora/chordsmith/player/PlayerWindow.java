package velmora.chordsmith.player;

import java.awt.BasicStroke;
import java.awt.BorderLayout;
import java.awt.Component;
import java.awt.Dimension;
import java.awt.FlowLayout;
import java.awt.Graphics;
import java.awt.Graphics2D;
import java.awt.GridBagConstraints;
import java.awt.GridBagLayout;
import java.awt.Insets;
import java.awt.event.ActionEvent;
import java.awt.event.KeyEvent;
import java.awt.event.WindowAdapter;
import java.awt.event.WindowEvent;
import java.nio.file.Path;
import java.util.Hashtable;
import java.util.Locale;
import javax.swing.AbstractAction;
import javax.swing.BorderFactory;
import javax.swing.Box;
import javax.swing.BoxLayout;
import javax.swing.Icon;
import javax.swing.JButton;
import javax.swing.JCheckBox;
import javax.swing.JComponent;
import javax.swing.JFileChooser;
import javax.swing.JFrame;
import javax.swing.JLabel;
import javax.swing.JOptionPane;
import javax.swing.JPanel;
import javax.swing.JSlider;
import javax.swing.JSpinner;
import javax.swing.KeyStroke;
import javax.swing.SpinnerNumberModel;
import javax.swing.SwingConstants;
import javax.swing.SwingWorker;
import javax.swing.Timer;
import javax.swing.filechooser.FileNameExtensionFilter;
import velmora.chordsmith.EngineFacts;
import velmora.chordsmith.EqCurve;
import velmora.chordsmith.audio.Audio;
import velmora.chordsmith.audio.FileException;

/**
 * The practice player's window. Everything here runs on Swing's event thread, which only hands
 * requests to the {@link Player} and reads its reports, the engine's spectrum and the peak: none
 * of that waits. A timer redraws the position, the spectrum and the meter about 30 times a
 * second; a recording is read on a worker thread, so opening one never freezes the window.
 */
public final class PlayerWindow {
  static final int REFRESH_MS = 33;
  private static final int SEEK_SECONDS = 5;

  final Player player;
  final JFrame frame = new JFrame("chordsmith");
  final WaveformView waveform;
  final SpectrumView spectrum = new SpectrumView();
  final LevelMeter meter = new LevelMeter();
  final JButton playButton = new JButton();
  final JLabel timeLabel = label("0:00.0 / 0:00.0", Theme.TIME);
  final JSlider speedSlider = new JSlider(Speeds.MIN_PERCENT, Speeds.MAX_PERCENT, 100);
  final JLabel speedLabel = label("100%", Theme.BOLD);
  final JLabel realisedLabel = label("", Theme.SMALL);
  final JLabel loopLabel = label("", Theme.UI);
  final JCheckBox practiceBox = new JCheckBox("Practice");
  final JSpinner practiceStart = speedSpinner(Practice.DEFAULT.startPercent());
  final JSpinner practiceStep = spinner(Practice.DEFAULT.stepPercent(), Speeds.STEP_PERCENT, 25);
  final JSpinner practiceGoal = speedSpinner(Practice.DEFAULT.goalPercent());
  final JCheckBox voiceBox = new JCheckBox("Remove voice");
  final JSlider voiceAmount = new JSlider(0, 150, 100);
  final JSlider balance = new JSlider(-100, 100, 0);
  final JCheckBox monoBox = new JCheckBox("Mono");
  final JCheckBox linkBox = new JCheckBox("Stereo link", MixSettings.DEFAULT.stereoLink());
  final JSlider[] eq = new JSlider[EqCurve.NAMES.length];
  final JLabel[] eqValue = new JLabel[EqCurve.NAMES.length];
  final JSlider preamp = new JSlider(SwingConstants.VERTICAL, -12, 12, 0);
  final JLabel preampValue = label("0 dB", Theme.SMALL);
  final JLabel titleLabel = label("", Theme.BOLD);
  final JLabel infoLabel = label("", Theme.SMALL);
  final JLabel soundLabel = label("", Theme.SMALL);
  final JLabel notesLabel = label("", Theme.UI);
  private final JLabel amountTitle = label("Amount 100%", Theme.SMALL);
  private final JLabel balanceTitle = label("Balance: centre", Theme.SMALL);
  private final JFileChooser chooser = new JFileChooser();
  private final Timer timer = new Timer(REFRESH_MS, e -> refresh());
  private final float[] bands = new float[EngineFacts.BANDS];
  private int trackNumber;
  private boolean updating;  // true while the window sets its own controls from the player

  /** Builds the window around {@code player}; {@link #show} puts it on screen. */
  public PlayerWindow(Player player) {
    this.player = player;
    this.waveform = new WaveformView(new WaveformView.Listener() {
      @Override public void seek(long frame) { player.transport().seek(frame); player.wake(); }

      @Override public void loop(long a, long b) {
        Loop l = player.transport().setLoop(a, b);
        player.transport().seek(l.a());
        player.wake();
      }
    });
    frame.setDefaultCloseOperation(JFrame.DISPOSE_ON_CLOSE);
    frame.addWindowListener(new WindowAdapter() {
      @Override public void windowClosed(WindowEvent e) {
        timer.stop();
        player.close();
      }
    });
    // The reader takes anything FFmpeg decodes; these are what recordings usually come as.
    chooser.setFileFilter(new FileNameExtensionFilter("Recordings (MP3, M4A, FLAC, Ogg, Opus, WAV, AIFF...)",
        "mp3", "m4a", "aac", "mp4", "flac", "ogg", "oga", "opus", "wav", "wave", "aif", "aiff", "au", "wma",
        "webm"));
    frame.setContentPane(layout());
    bindKeys(frame.getRootPane());
    frame.pack();
    frame.setMinimumSize(new Dimension(980, 700));
    frame.setLocationByPlatform(true);
  }

  /** Shows the window with {@code audio} loaded, called {@code title}. */
  public void show(Audio audio, String title) {
    load(audio, WaveformView.Overview.of(audio), title);
    frame.setVisible(true);
    timer.start();
  }

  private void load(Audio audio, WaveformView.Overview overview, String title) {
    trackNumber = player.open(audio);
    waveform.setRecording(overview);
    titleLabel.setText(title);
    infoLabel.setText(String.format(Locale.ROOT, "%s  ·  %s  ·  %d Hz", Theme.time(audio.seconds()),
        audio.channels == 2 ? "stereo" : "mono", audio.sampleRate));
    frame.setTitle(title + " - chordsmith");
    boolean stereo = audio.channels == 2;
    JComponent[] stereoOnly = {voiceBox, voiceAmount, balance, monoBox, linkBox, amountTitle, balanceTitle};
    for (JComponent c : stereoOnly) {
      c.setEnabled(stereo);
      c.setForeground(stereo ? Theme.TEXT : Theme.MUTED.darker());
    }
    voiceBox.setToolTipText(
        stereo ? "Subtract what both channels share in the vocal band (V)" : "Stereo recordings only");
  }

  // ---- Layout ----

  private JPanel layout() {
    JPanel root = new JPanel(new BorderLayout(0, 8));
    root.setBackground(Theme.BACKGROUND);
    root.setBorder(BorderFactory.createEmptyBorder(10, 12, 8, 12));

    JPanel header = new JPanel(new BorderLayout(12, 0));
    header.setOpaque(false);
    JPanel names = column(titleLabel, infoLabel);
    header.add(names, BorderLayout.CENTER);
    JButton open = button("Open…", "Open a recording (O)", e -> chooseFile());
    header.add(open, BorderLayout.EAST);

    JPanel top = new JPanel(new BorderLayout(0, 6));
    top.setOpaque(false);
    top.add(header, BorderLayout.NORTH);
    top.add(waveform, BorderLayout.CENTER);
    top.add(transportRow(), BorderLayout.SOUTH);

    JPanel display = new JPanel(new BorderLayout(8, 0));
    display.setOpaque(false);
    JPanel spectrumCard = card("Spectrum", spectrum);
    notesLabel.setForeground(Theme.TEXT);
    ((JPanel) spectrumCard.getComponent(0)).add(notesLabel, BorderLayout.EAST);
    display.add(spectrumCard, BorderLayout.CENTER);
    display.add(card("Peak", meter), BorderLayout.EAST);

    JPanel bottom = new JPanel(new BorderLayout(0, 6));
    bottom.setOpaque(false);
    bottom.add(mixRow(), BorderLayout.CENTER);
    soundLabel.setForeground(Theme.MUTED);
    JLabel keys = label("Space play/pause  ·  ←/→ 5 s  ·  ↑/↓ speed  ·  A, B loop marks  ·  "
        + "Esc clear loop  ·  P practice  ·  V voice  ·  M mono  ·  O open", Theme.SMALL);
    keys.setForeground(Theme.MUTED);
    bottom.add(column(soundLabel, keys), BorderLayout.SOUTH);

    root.add(top, BorderLayout.NORTH);
    root.add(display, BorderLayout.CENTER);
    root.add(bottom, BorderLayout.SOUTH);
    return root;
  }

  private JPanel transportRow() {
    JPanel row = new JPanel(new GridBagLayout());
    row.setOpaque(false);
    GridBagConstraints c = new GridBagConstraints();
    c.gridy = 0;
    c.insets = new Insets(0, 0, 0, 14);
    c.anchor = GridBagConstraints.WEST;

    playButton.setIcon(new PlayIcon(false));
    playButton.setToolTipText("Play or pause (Space)");
    playButton.setPreferredSize(new Dimension(48, 40));
    playButton.setFocusable(false);
    playButton.addActionListener(e -> togglePlay());
    row.add(playButton, c);
    row.add(timeLabel, c);

    speedSlider.setMajorTickSpacing(25);
    speedSlider.setMinorTickSpacing(Speeds.STEP_PERCENT);
    speedSlider.setSnapToTicks(true);
    speedSlider.setPaintTicks(true);
    Hashtable<Integer, JComponent> marks = new Hashtable<>();
    for (int p = Speeds.MIN_PERCENT; p <= Speeds.MAX_PERCENT; p += 25) {
      marks.put(p, label(p + "%", Theme.SMALL));
    }
    speedSlider.setLabelTable(marks);
    speedSlider.setPaintLabels(true);
    speedSlider.setFocusable(false);
    speedSlider.setOpaque(false);
    speedSlider.setPreferredSize(new Dimension(420, 48));
    speedSlider.setToolTipText("Speed, 25% to 150% in steps of 5% (Up, Down)");
    speedSlider.addChangeListener(e -> {
      if (!updating) player.transport().setSpeed(speedSlider.getValue());
    });
    JLabel speedTitle = label("SPEED", Theme.SMALL);
    speedTitle.setForeground(Theme.MUTED);
    speedLabel.setFont(Theme.TIME);
    JPanel speed = column(speedTitle, speedLabel);
    speed.setPreferredSize(new Dimension(190, 44));
    row.add(speed, c);
    c.fill = GridBagConstraints.HORIZONTAL;
    c.weightx = 1;
    row.add(speedSlider, c);
    c.fill = GridBagConstraints.NONE;
    c.weightx = 0;
    c.insets = new Insets(0, 0, 0, 0);
    realisedLabel.setForeground(Theme.MUTED);
    realisedLabel.setPreferredSize(new Dimension(190, 16));
    row.add(realisedLabel, c);

    // The loop and practice mode on a line of their own.
    c.gridy = 1;
    c.gridx = 0;
    c.gridwidth = GridBagConstraints.REMAINDER;
    c.insets = new Insets(4, 0, 0, 0);
    JPanel loop = new JPanel(new FlowLayout(FlowLayout.LEFT, 6, 0));
    loop.setOpaque(false);
    JLabel loopTitle = label("LOOP", Theme.SMALL);
    loopTitle.setForeground(Theme.MUTED);
    loop.add(loopTitle);
    loop.add(button("A", "Mark the loop's start where you are (A)", e -> markA()));
    loop.add(button("B", "Mark the loop's end where you are (B)", e -> markB()));
    loop.add(button("Clear", "No loop (Esc)", e -> clearLoop()));
    loopLabel.setPreferredSize(new Dimension(330, 20));
    loop.add(loopLabel);
    practiceBox.setFocusable(false);
    practiceBox.setOpaque(false);
    practiceBox.setForeground(Theme.TEXT);
    practiceBox.setToolTipText("Play the loop a little faster on each pass (P)");
    practiceBox.addActionListener(e -> setPractice(practiceBox.isSelected()));
    loop.add(Box.createHorizontalStrut(16));
    loop.add(practiceBox);
    loop.add(label("from", Theme.SMALL));
    loop.add(practiceStart);
    loop.add(label("%, +", Theme.SMALL));
    loop.add(practiceStep);
    loop.add(label("% per pass, up to", Theme.SMALL));
    loop.add(practiceGoal);
    loop.add(label("%", Theme.SMALL));
    for (JSpinner s : new JSpinner[] {practiceStart, practiceStep, practiceGoal}) {
      s.addChangeListener(e -> {
        if (practiceBox.isSelected()) setPractice(true);
      });
    }
    row.add(loop, c);
    return row;
  }

  private JPanel mixRow() {
    JPanel row = new JPanel(new GridBagLayout());
    row.setOpaque(false);
    GridBagConstraints c = new GridBagConstraints();
    c.gridy = 0;
    c.fill = GridBagConstraints.BOTH;
    c.insets = new Insets(0, 0, 0, 8);

    voiceBox.addActionListener(e -> setMix(player.mix().withVoice(voiceBox.isSelected())));
    voiceAmount.addChangeListener(e -> {
      amountTitle.setText("Amount " + voiceAmount.getValue() + "%");
      setMix(player.mix().withVoiceAmount(voiceAmount.getValue() / 100.0));
    });
    voiceAmount.setToolTipText("How much of the centre to take out: 100% cancels a centred voice");
    styleSlider(voiceAmount, 0, 50, 150);
    styleBox(voiceBox);
    c.weightx = 0.22;
    row.add(card("Voice", column(voiceBox, amountTitle, voiceAmount)), c);

    balance.addChangeListener(e -> {
      int v = balance.getValue();
      balanceTitle.setText("Balance: " + (v == 0 ? "centre" : v < 0 ? "left " + -v : "right " + v));
      setMix(player.mix().withBalance(v));
    });
    balance.setToolTipText("Left plays the left channel on both sides, right the right one");
    styleSlider(balance, 0, 50, 100);
    monoBox.addActionListener(e -> setMix(player.mix().withMono(monoBox.isSelected())));
    monoBox.setToolTipText("Both sides carry the average of the two (M)");
    styleBox(monoBox);
    linkBox.addActionListener(e -> setMix(player.mix().withStereoLink(linkBox.isSelected())));
    linkBox.setToolTipText(
        "Stretch both channels together: keeps the stereo image and the mono sum; off, each on its own");
    styleBox(linkBox);
    row.add(card("Stereo", column(balanceTitle, balance, monoBox, linkBox)), c);

    JPanel bandsPanel = new JPanel(new GridBagLayout());
    bandsPanel.setOpaque(false);
    GridBagConstraints b = new GridBagConstraints();
    b.insets = new Insets(0, 6, 0, 6);
    for (int i = 0; i < eq.length; i++) {
      final int band = i;
      eq[i] = new JSlider(SwingConstants.VERTICAL, -12, 12, 0);
      styleSlider(eq[i], 0, 6, 0);
      eq[i].setPaintTicks(true);
      eq[i].setPreferredSize(new Dimension(28, 92));
      eq[i].setToolTipText(
          String.format(Locale.ROOT, "%s, %.0f Hz: -12 to +12 dB", EqCurve.NAMES[i], EqCurve.CENTRES[i]));
      eqValue[i] = label("0", Theme.SMALL);
      eq[i].addChangeListener(e -> {
        eqValue[band].setText(signed(eq[band].getValue()));
        setMix(player.mix().withEq(band, eq[band].getValue()));
      });
      b.gridx = i;
      b.gridy = 0;
      bandsPanel.add(eqValue[i], b);
      b.gridy = 1;
      bandsPanel.add(eq[i], b);
      b.gridy = 2;
      bandsPanel.add(label(EqCurve.NAMES[i], Theme.SMALL), b);
    }
    b.gridx = eq.length;
    b.gridy = 1;
    bandsPanel.add(button("Flat", "All bands to 0 dB", e -> flatEq()), b);
    c.weightx = 0.4;
    row.add(card("Equaliser", bandsPanel), c);

    styleSlider(preamp, 0, 6, 0);
    preamp.setPaintTicks(true);
    preamp.setPreferredSize(new Dimension(28, 92));
    preamp.setToolTipText("Output gain, -12 to +12 dB; 0 plays as loud as the recording");
    preamp.addChangeListener(e -> {
      preampValue.setText(signed(preamp.getValue()) + " dB");
      setMix(player.mix().withPreamp(preamp.getValue()));
    });
    c.weightx = 0.08;
    c.insets = new Insets(0, 0, 0, 0);
    JPanel pre = new JPanel(new BorderLayout());
    pre.setOpaque(false);
    pre.add(preampValue, BorderLayout.NORTH);
    pre.add(preamp, BorderLayout.CENTER);
    row.add(card("Preamp", pre), c);
    return row;
  }

  // ---- Actions: each hands a request to the player and returns ----

  private void bindKeys(JComponent root) {
    key(root, "SPACE", "play", this::togglePlay);
    key(root, "LEFT", "back", () -> seekBy(-SEEK_SECONDS));
    key(root, "RIGHT", "forward", () -> seekBy(SEEK_SECONDS));
    key(root, "shift LEFT", "back a little", () -> seekBy(-1));
    key(root, "shift RIGHT", "forward a little", () -> seekBy(1));
    key(root, "HOME", "to start", () -> {
      Loop l = player.transport().loop();
      seekTo(l.plays(player.transport().sampleRate()) ? l.a() : 0);
    });
    key(root, "UP", "faster", () -> changeSpeed(1));
    key(root, "DOWN", "slower", () -> changeSpeed(-1));
    key(root, "A", "mark A", this::markA);
    key(root, "B", "mark B", this::markB);
    key(root, "ESCAPE", "clear loop", this::clearLoop);
    key(root, "P", "practice", () -> {
      practiceBox.setSelected(!practiceBox.isSelected());
      setPractice(practiceBox.isSelected());
    });
    key(root, "V", "voice", () -> {
      if (!voiceBox.isEnabled()) return;
      voiceBox.setSelected(!voiceBox.isSelected());
      setMix(player.mix().withVoice(voiceBox.isSelected()));
    });
    key(root, "M", "mono", () -> {
      if (!monoBox.isEnabled()) return;
      monoBox.setSelected(!monoBox.isSelected());
      setMix(player.mix().withMono(monoBox.isSelected()));
    });
    key(root, "O", "open", this::chooseFile);
  }

  private static void key(JComponent root, String stroke, String name, Runnable action) {
    root.getInputMap(JComponent.WHEN_IN_FOCUSED_WINDOW).put(KeyStroke.getKeyStroke(stroke), name);
    root.getActionMap().put(name, new AbstractAction() {
      @Override public void actionPerformed(ActionEvent e) { action.run(); }
    });
  }

  private void togglePlay() {
    player.transport().togglePlay();
    player.wake();
  }

  /** The position the listener hears now, as the window shows it. */
  double heardPosition() {
    Transport t = player.transport();
    Status s = player.status();
    Transport.Seek seek = t.lastSeek();
    if (s.track() != trackNumber) return 0;
    // A seek the speaker has not reached yet: show where the listener asked to be.
    if (seek.serial() > s.seekHeard()) return seek.frame();
    return Math.min(t.length(), s.positionAt(System.nanoTime(), t.sampleRate(), t.sampleRate() / 20));
  }

  private void seekBy(double seconds) {
    seekTo(Math.round(heardPosition() + seconds * player.transport().sampleRate()));
  }

  private void seekTo(long frame) {
    player.transport().seek(frame);
    player.wake();
  }

  private void changeSpeed(int steps) { player.transport().changeSpeed(steps); }

  private void markA() { player.transport().markA(Math.round(heardPosition())); }

  private void markB() { player.transport().markB(Math.round(heardPosition())); }

  private void clearLoop() { player.transport().clearLoop(); }

  private void setPractice(boolean on) {
    player.transport().setPractice(on ? new Practice((Integer) practiceStart.getValue(),
        (Integer) practiceStep.getValue(), (Integer) practiceGoal.getValue()) : null);
    player.wake();
  }

  private void setMix(MixSettings m) {
    if (!updating) player.setMix(m);
  }

  private void flatEq() {
    for (JSlider s : eq) s.setValue(0);
  }

  private void chooseFile() {
    chooser.setDialogTitle("Open a recording");
    if (chooser.showOpenDialog(frame) != JFileChooser.APPROVE_OPTION) return;
    Path path = chooser.getSelectedFile().toPath();
    titleLabel.setText("Reading " + path.getFileName() + "…");
    record Read(Audio audio, WaveformView.Overview overview) {}
    new SwingWorker<Read, Void>() {
      @Override protected Read doInBackground() throws FileException {
        Audio audio = Audio.read(path);
        return new Read(audio, WaveformView.Overview.of(audio));
      }

      @Override protected void done() {
        try {
          Read read = get();
          load(read.audio(), read.overview(), path.getFileName().toString());
        } catch (Exception e) {
          Throwable cause = e.getCause() != null ? e.getCause() : e;
          String why = cause instanceof OutOfMemoryError
              ? path.getFileName() + PlayerApp.TOO_LONG
              : cause.getMessage();
          titleLabel.setText(player.track() == null ? "" : frame.getTitle().replace(" - chordsmith", ""));
          JOptionPane.showMessageDialog(frame, why, "Cannot open the recording", JOptionPane.ERROR_MESSAGE);
        }
      }
    }.execute();
  }

  // ---- The display, about 30 times a second ----

  private void refresh() {
    Transport t = player.transport();
    Status s = player.status();
    double position = heardPosition();
    int rate = t.sampleRate();
    waveform.show(position, t.loop());
    timeLabel.setText(Theme.time(position / rate) + " / " + Theme.time((double) t.length() / rate));
    if (((PlayIcon) playButton.getIcon()).playing() != t.playing()) {
      playButton.setIcon(new PlayIcon(t.playing()));
    }

    updating = true;
    if (!speedSlider.getValueIsAdjusting() && speedSlider.getValue() != t.speedPercent()) {
      speedSlider.setValue(t.speedPercent());
    }
    updating = false;
    boolean practising = t.practice() != null && t.loop().plays(rate);
    int heardPercent = s.track() == trackNumber ? s.percent() : t.speedPercent();
    speedLabel.setText(heardPercent + "%" + (practising ? "  pass " + (s.pass() + 1) : ""));
    realisedLabel.setText(String.format(Locale.ROOT, "realised ×%.3f (%d → %d)", s.realisedSpeed(),
        s.stepIn(), s.stepOut()));
    realisedLabel.setToolTipText("The engine's hops: input frames per analysis, output frames per synthesis");
    Loop l = t.loop();
    loopLabel.setText(loopText(l, rate));

    player.spectrum(bands);
    float scale = player.spectrumScale();
    for (int b = 0; b < bands.length; b++) bands[b] *= scale;
    spectrum.update(bands);
    var names = spectrum.strongestNames();
    notesLabel.setText(names.isEmpty() ? "" : "Strongest: " + String.join("  ", names));
    meter.update(player.takePeak());
    soundLabel.setText(player.sinkDescription());
  }

  private static String loopText(Loop l, int rate) {
    if (l.a() == Loop.NONE && l.b() == Loop.NONE) return "No loop: drag on the waveform, or A and B";
    String a = l.a() == Loop.NONE ? "–" : Theme.time((double) l.a() / rate);
    String b = l.b() == Loop.NONE ? "–" : Theme.time((double) l.b() / rate);
    if (!l.plays(rate)) return "Loop " + a + " → " + b;
    return String.format(Locale.ROOT, "Looping %s → %s  (%.1f s)", a, b, (double) (l.b() - l.a()) / rate);
  }

  // ---- Small builders ----

  private static JLabel label(String text, java.awt.Font font) {
    JLabel l = new JLabel(text);
    l.setFont(font);
    l.setForeground(Theme.TEXT);
    return l;
  }

  private static JButton button(String text, String tip, java.awt.event.ActionListener action) {
    JButton b = new JButton(text);
    b.setToolTipText(tip);
    b.setFocusable(false);
    b.addActionListener(action);
    return b;
  }

  private static JSpinner speedSpinner(int value) {
    return spinner(value, Speeds.MIN_PERCENT, Speeds.MAX_PERCENT);
  }

  private static JSpinner spinner(int value, int min, int max) {
    JSpinner s = new JSpinner(new SpinnerNumberModel(value, min, max, Speeds.STEP_PERCENT));
    JSpinner.DefaultEditor editor = (JSpinner.DefaultEditor) s.getEditor();
    editor.getTextField().setEditable(false);
    editor.getTextField().setFocusable(false);
    editor.getTextField().setColumns(3);
    s.setFocusable(false);
    return s;
  }

  private static void styleSlider(JSlider s, int minor, int major, int unused) {
    s.setOpaque(false);
    s.setFocusable(false);
    if (major > 0) s.setMajorTickSpacing(major);
  }

  private static void styleBox(JCheckBox b) {
    b.setOpaque(false);
    b.setFocusable(false);
    b.setForeground(Theme.TEXT);
  }

  private static String signed(int db) { return db > 0 ? "+" + db : Integer.toString(db); }

  private static JPanel column(Component... parts) {
    JPanel p = new JPanel();
    p.setOpaque(false);
    p.setLayout(new BoxLayout(p, BoxLayout.Y_AXIS));
    for (Component c : parts) {
      if (c instanceof JComponent j) j.setAlignmentX(Component.LEFT_ALIGNMENT);
      p.add(c);
      p.add(Box.createVerticalStrut(2));
    }
    return p;
  }

  /** A titled panel on the raised background. */
  private static JPanel card(String title, JComponent body) {
    JPanel card = new JPanel(new BorderLayout(0, 6));
    card.setBackground(Theme.PANEL);
    card.setBorder(BorderFactory.createEmptyBorder(6, 10, 8, 10));
    JPanel head = new JPanel(new BorderLayout());
    head.setOpaque(false);
    JLabel t = label(title.toUpperCase(Locale.ROOT), Theme.SMALL);
    t.setForeground(Theme.MUTED);
    head.add(t, BorderLayout.WEST);
    card.add(head, BorderLayout.NORTH);
    card.add(body, BorderLayout.CENTER);
    return card;
  }

  /** A triangle to play, two bars to pause, in the accent colour. */
  private record PlayIcon(boolean playing) implements Icon {
    @Override public int getIconWidth() { return 18; }

    @Override public int getIconHeight() { return 18; }

    @Override public void paintIcon(Component c, Graphics g0, int x, int y) {
      Graphics2D g = Theme.smooth(g0.create());
      g.setColor(Theme.ACCENT);
      if (playing) {
        g.fillRoundRect(x + 3, y + 2, 5, 14, 2, 2);
        g.fillRoundRect(x + 11, y + 2, 5, 14, 2, 2);
      } else {
        g.setStroke(new BasicStroke(1f));
        g.fillPolygon(new int[] {x + 4, x + 4, x + 16}, new int[] {y + 2, y + 16, y + 9}, 3);
      }
      g.dispose();
    }
  }
}
