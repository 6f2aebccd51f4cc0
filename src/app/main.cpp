#include "app/tarnwick_app.h"

int main(int argc, char** argv) {
  tarnwick::app::CTarnwickApp app(argc, argv);
  return app.InitInstance();
}
