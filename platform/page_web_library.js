// Helpers of Emscripten's JavaScript library that SDL's audio and event code
// calls but does not ask for (Emscripten's own SDL asks for them): taken in
// as dependencies of a function the link includes by name.
mergeInto(LibraryManager.library, {
  velmor_sdl_helpers__deps: ['$autoResumeAudioContext', '$dynCall'],
  velmor_sdl_helpers: function () {},
});
