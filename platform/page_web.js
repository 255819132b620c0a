// The page's half of the browser platform, run before the program starts
// (linked in front of the program's JavaScript). It expects from the page:
//   Module.velmorGameName   the game's name ("quble"): names the pack and
//                           the player's folder
//   Module.velmorPack       the game's data pack (a Uint8Array)
//   Module.velmorShowMessage(title, text), Module.velmorStopped(text)
//                           optional: the page's own ways of telling the player
// and gives it Module.velmorPersist(). The program runs in the player's
// folder, kept in IndexedDB, whose DATA/ holds a link to the pack, as an
// installed game's folder does on the desktop.

Module.preRun = Module.preRun || [];
Module.preRun.push(function velmorPreparePlayerFolder() {
  var name = Module.velmorGameName;
  var folder = '/home/web_user/.local/share/' + name;
  var pack = '/gamedata/' + name + '.pak';

  FS.mkdirTree('/gamedata');
  FS.writeFile(pack, Module.velmorPack);
  delete Module.velmorPack;

  // Links are remade at every start and never stored: the storage would
  // otherwise keep a copy of the whole pack, or an empty file in its place.
  var listLocalFiles = IDBFS.getLocalSet;
  IDBFS.getLocalSet = function (mount, callback) {
    listLocalFiles(mount, function (error, set) {
      if (error) return callback(error);
      Object.keys(set.entries).forEach(function (path) {
        if (FS.isLink(FS.lstat(path).mode)) delete set.entries[path];
      });
      callback(null, set);
    });
  };

  FS.mkdirTree(folder);
  FS.mount(IDBFS, {}, folder);
  addRunDependency('velmor-player-folder');
  FS.syncfs(true, function (error) {
    if (error) console.warn('The saved files of ' + name + ' could not be read: ' + error);
    FS.mkdirTree(folder + '/DATA');
    var link = folder + '/DATA/' + name + '.pak';
    var present = FS.analyzePath(link, true);
    if (!present.exists) FS.symlink(pack, link);
    FS.chdir(folder);
    removeRunDependency('velmor-player-folder');
  });
});

// One store at a time; a request during a store is served by one more.
(function () {
  var storing = false, wanted = false;
  Module.velmorPersist = function () {
    if (storing) {
      wanted = true;
      return;
    }
    storing = true;
    FS.syncfs(false, function (error) {
      storing = false;
      if (error) console.warn('The saved files could not be stored: ' + error);
      if (wanted) {
        wanted = false;
        Module.velmorPersist();
      }
    });
  };
  document.addEventListener('visibilitychange', function () {
    if (document.visibilityState === 'hidden' && runtimeInitialized) Module.velmorPersist();
  });
})();

// The program's end, whichever way it came: what it wrote is stored and
// the page says so.
(function () {
  var stopped = false;
  function stop(text) {
    if (stopped) return;
    stopped = true;
    try {
      Module.velmorPersist();
    } catch (e) {
      console.error(e);
    }
    if (Module.velmorStopped) Module.velmorStopped(text);
  }

  Module.onExit = function (status) {
    stop(status === 0 ? '' : 'It ended with status ' + status + '.');
  };

  // A trap of the WebAssembly machine (a bad memory access, a division by
  // zero) cannot be caught by the program: it is reported here, as a fault
  // is on the desktop.
  function onTrap(error) {
    if (!(error instanceof WebAssembly.RuntimeError) || stopped) return;
    try {
      ccall('velmor_report_trap', null, ['string'], [String(error.message)]);
    } catch (e) {
      console.error(e);
    }
    stop('The game stopped: ' + error.message + '.');
  }
  window.addEventListener('error', function (event) { onTrap(event.error); });
  window.addEventListener('unhandledrejection', function (event) { onTrap(event.reason); });
  Module.onAbort = function (what) {
    stop('The game stopped: ' + what);
  };
})();
