import QtQuick 2.12
import QtQuick.Controls 2.12
import QtGraphicalEffects 1.12
import QtTest 1.2
import Larkmoor.Testing 1.0

// The code must show on every scene graph, and its image shadow must look as the shader
// shadow it replaced did on OpenGL. Run by test_qml on an X display, once per scene graph (the
// offscreen platform grabs nothing from the software one).
TestCase {
    id: test
    name: "CodeShadow"
    when: windowShown
    visible: true
    width: 640
    height: 230

    QtObject {
        id: status
        property int otp: 123456
        property bool code_shown: true
        property int seconds_left: 20
        property int next_code_in: 0
        property int digits: 6
        property int step: 0
        property string err_msg
        function response_time_changed() {}
    }

    // The label as it used to be drawn, through a layer with a DropShadow, which only a GPU
    // scene graph runs: kept here alone, as the yardstick for the image shadow.
    Component {
        id: shader_shadow_page

        Item {
            property alias label: label
            width: 320
            Item {
                anchors.fill: parent
                anchors.margins: 10
                Label {
                    id: label
                    text: "123 456"
                    anchors.horizontalCenter: parent.horizontalCenter
                    y: 35
                    leftPadding: 10
                    rightPadding: 10
                    font.pixelSize: 40
                    color: "black"
                    background: Rectangle { color: "lightgray" }
                    layer.enabled: true
                    layer.effect: DropShadow { transparentBorder: true; color: "#aa000000"; radius: samples; horizontalOffset: 3; verticalOffset: 3 }
                }
            }
        }
    }

    // The code label and the reach of its shadow (offset 3 plus a blur of 9), in window pixels.
    function shadow_region(label) {
        var origin = label.mapToItem(test, 0, 0)
        return { x: Math.floor(origin.x) - 8, y: Math.floor(origin.y) - 8,
                 width: Math.ceil(label.width) + 22, height: Math.ceil(label.height) + 22 }
    }

    function verify_code_drawn(image, region) {
        compare(image.width, test.width, "nothing was grabbed")
        var dark = 0
        for (var y = region.y; y < region.y + region.height; ++y)
            for (var x = region.x; x < region.x + region.width; ++x)
                if (image.red(x, y) < 80 && image.green(x, y) < 80 && image.blue(x, y) < 80)
                    ++dark
        verify(dark > 100, "the code is not drawn: " + dark + " dark pixels")
        // And its shadow: darker than the page just right of the label, half-way down.
        var shade = image.red(region.x + region.width - 12, Math.round(region.y + region.height / 2))
        verify(shade < 200, "no shadow beside the code: " + shade)
    }

    // A code without its copy button, which sits in the shadow's reach.
    function test_code_drawn_and_shadow_as_the_shader_one() {
        Bench.publish("otp_status", status)
        var page = Qt.createComponent("qrc:/otp_status_view.qml").createObject(test, { x: 320, width: 320, height: 230 })
        findChild(page, "btn_copy").visible = false
        waitForRendering(page)
        var region = shadow_region(findChild(page, "otp_value_bar"))
        verify_code_drawn(grabImage(test), region)
        if (GraphicsInfo.api !== GraphicsInfo.OpenGL)
            skip("the shader shadow needs the OpenGL scene graph")

        var old_region = shadow_region(shader_shadow_page.createObject(test).label)
        waitForRendering(test)
        var image = grabImage(test)
        compare([region.y, region.width, region.height], [old_region.y, old_region.width, old_region.height])
        verify_code_drawn(image, old_region)
        var total = 0
        var worst = 0
        for (var y = region.y; y < region.y + region.height; ++y) {
            for (var x = 0; x < region.width; ++x) {
                for (var c = 0; c < 3; ++c) {
                    var channel = ["red", "green", "blue"][c]
                    var difference = Math.abs(image[channel](old_region.x + x, y) - image[channel](region.x + x, y))
                    total += difference
                    worst = Math.max(worst, difference)
                }
            }
        }
        // The glyphs differ a little too: the old label reached the window through a texture.
        var mean = total / (3 * region.width * region.height)
        verify(mean < 3.0 && worst < 48, "image shadow differs: mean " + mean.toFixed(2) + ", worst " + worst)
    }
}
