#include "datapass/workqueue.h"

#include "base/host.h"

namespace vsf {

int zpudi(ZPuddle* puddle, int workers, int flags, WorkRoutine routine) {
  HostExtension* ext = kernel().extensionLoad("hxworkq");
  puddle->extension = dynamic_cast<HxWorkQ*>(ext);
  if (!puddle->extension) {
    if (ext) ext->release();
    if (flags & 1) {
      hostv().proc->diagText("hxExtensionLoad failed in zpudi");
      hostEndStep(step::kInternal);
    }
    return queuestatus::kNoExtension;
  }
  puddle->queue = puddle->extension->create(workers, routine, puddle, 0xA0000000u);
  if (!puddle->queue) {
    if ((flags & 3) == 1) {
      hostv().proc->diagText("The host could not start the threads of the step's work queue.");
      hostEndStep(step::kInternal);
    }
    return queuestatus::kNoQueue;
  }
  return 0;
}

void zpudleq(ZPuddle* puddle, void* item) {
  if (!puddle->queue || puddle->queue->enqueue(item) != 0) {
    hostv().proc->diagText("puddleEnque failed");
    hostEndStep(step::kInternal);
  }
}

void zpudlwt(ZPuddle* puddle) {
  HostEvent* event = kernel().eventCreate();
  if (!event || !puddle->queue || puddle->queue->signalWhenDone(event) != 0) {
    if (event) kernel().eventDestroy(event);
    hostv().proc->diagText("zpudlwt failed");
    hostEndStep(step::kInternal);
  }
  kernel().eventWait(&event, 1, -1);
  kernel().eventDestroy(event);
  puddle->queue->reset();
}

void zpudlterm(ZPuddle* puddle) {
  if (puddle->queue) {
    puddle->queue->shutdown();
    puddle->queue->destroy();
    puddle->queue = nullptr;
  }
  if (puddle->extension) {
    puddle->extension->release();
    puddle->extension = nullptr;
  }
}

}  // namespace vsf
