// Only adds to what works without it: arrow keys and Esc on the view pages, the
// neighbours' pictures fetched ahead, and the address following the photo swiped to.
(function () {
  'use strict';
  var strip = document.querySelector('.strip');
  if (!strip) return;
  function current() {
    var w = strip.clientWidth || 1;
    return strip.children[Math.round(strip.scrollLeft / w)] || null;
  }
  function warm(slide) {
    if (!slide) return;
    [slide.previousElementSibling, slide.nextElementSibling].forEach(function (s) {
      var img = s && s.querySelector('img');
      if (img) img.loading = 'eager';
    });
  }
  document.addEventListener('keydown', function (e) {
    if (e.altKey || e.ctrlKey || e.metaKey || e.shiftKey) return;
    var slide = current();
    if (!slide) return;
    var which = { ArrowRight: 'a[rel=next]', ArrowLeft: 'a[rel=prev]', Escape: 'a.up' }[e.key];
    var link = which && slide.querySelector(which);
    if (link) {
      e.preventDefault();
      location.href = link.href;
    }
  });
  var timer = 0;
  strip.addEventListener('scroll', function () {
    clearTimeout(timer);
    timer = setTimeout(function () {
      var slide = current();
      warm(slide);
      if (slide && location.hash !== '#' + slide.id) history.replaceState(null, '', '#' + slide.id);
    }, 150);
  }, { passive: true });
  warm(current());
})();
