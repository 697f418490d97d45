/**
 * The practice player: a recording played live through the engine, with the speed, an A-B loop,
 * practice mode and the mix changed while it plays, and the engine's spectrum and peak meter on
 * show. It shows how an application drives the library: one audio thread owns every call that
 * sets the engine up or processes a block ({@link velmora.chordsmith.player.Player}); the window
 * hands it requests and reads its reports through atomics
 * ({@link velmora.chordsmith.player.Transport}, {@link velmora.chordsmith.player.Status}) and
 * reads the spectrum itself.
 *
 * <p>The model is plain Java and runs without a window: speeds and their hops
 * ({@link velmora.chordsmith.player.Speeds}), the loop and practice mode, the crossfading feed,
 * the timeline that tells which moment is heard, and the gain that keeps the level through a
 * speed change. The audio goes to a {@link velmora.chordsmith.player.Sink}: the sound device, or
 * a silent sink that keeps real time when there is none. The window
 * ({@link velmora.chordsmith.player.PlayerWindow}) is Swing, from the JDK.
 */
package velmora.chordsmith.player;
