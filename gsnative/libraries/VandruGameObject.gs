// VandruGameObject.gs: the game object of an asset's script, compiled into
// "VandruGameObject.gsl". A minimal stand-in until the class's own
// declarations land.
include "gs.gs"

class VandruGameObject isclass GameObject {
};
