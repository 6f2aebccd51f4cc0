#include "app/tarnwick_app.h"
#include "support/process_services.h"

int main(int argc, char** argv) {
  tarnwick::app::CTarnwickApp app(argc, argv);
  // The support library's clock and generator live from just after the application
  // object until just before it goes; nothing in the window consults them.
  const RavLib::ProcessServices services;
  return app.InitInstance();
}
