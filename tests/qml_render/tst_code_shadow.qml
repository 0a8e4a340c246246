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

    StandInOtpStatus {
        id: status
    }

    // The label as it used to be drawn: through a layer with a DropShadow, which only a GPU
    // scene graph can run. Kept here alone, as the yardstick for the image shadow.
    Component {
        id: shader_shadow_page

        Item {
            Rectangle {
                color: "transparent"
                anchors.fill: parent
                anchors.margins: 10

                Label {
                    objectName: "otp_value_bar"
                    text: "123 456"
                    anchors.horizontalCenter: parent.horizontalCenter
                    horizontalAlignment: Text.AlignHCenter
                    anchors.top: parent.top
                    anchors.topMargin: 35
                    leftPadding: 10
                    rightPadding: 10
                    font.pixelSize: 40
                    color: "black"
                    background: Rectangle {
                        color: "lightgray"
                    }
                    layer.enabled: true
                    layer.effect: DropShadow {
                        transparentBorder: true
                        color: "#aa000000"
                        radius: samples
                        horizontalOffset: 3
                        verticalOffset: 3
                    }
                }
            }
        }
    }

    property var page: null
    property var old_page: null

    function init() {
        Harness.publish("otp_status", status)
        status.deliver(123456, 6, "")
        var component = Qt.createComponent("qrc:/otp_status_view.qml")
        compare(component.status, Component.Ready, component.errorString())
        page = component.createObject(test, { x: 320, width: 320, height: 230 })
        page.disable_otp_timer()
        // Only the code and its shadow are compared; the button sits in the shadow's reach.
        findChild(page, "btn_copy").visible = false
    }

    function cleanup() {
        page.destroy()
        page = null
        if (old_page !== null)
            old_page.destroy()
        old_page = null
        wait(0)
    }

    // The code label and the reach of its shadow (offset 3 plus a blur of 9), in window pixels.
    function shadow_region(target) {
        var label = findChild(target, "otp_value_bar")
        var origin = label.mapToItem(test, 0, 0)
        return { x: Math.floor(origin.x) - 8, y: Math.floor(origin.y) - 8,
                 width: Math.ceil(label.width) + 22, height: Math.ceil(label.height) + 22 }
    }

    function dark_pixels(image, region) {
        compare(image.width, test.width, "nothing was grabbed")
        var count = 0
        for (var y = region.y; y < region.y + region.height; ++y)
            for (var x = region.x; x < region.x + region.width; ++x)
                if (image.red(x, y) < 80 && image.green(x, y) < 80 && image.blue(x, y) < 80)
                    ++count
        return count
    }

    function test_code_drawn_on_this_scene_graph() {
        waitForRendering(page)
        var image = grabImage(test)
        var region = shadow_region(page)
        verify(dark_pixels(image, region) > 100, "the code is not drawn")
        // The shadow: darker than the page just right of the label, half-way down.
        var label = findChild(page, "otp_value_bar")
        var edge = label.mapToItem(test, label.width + 2, label.height / 2)
        var shade = image.red(Math.round(edge.x), Math.round(edge.y))
        verify(shade < 200, "no shadow beside the code: " + shade)
    }

    function test_image_shadow_matches_shader_shadow() {
        if (GraphicsInfo.api !== GraphicsInfo.OpenGL)
            skip("the shader shadow needs the OpenGL scene graph")
        old_page = shader_shadow_page.createObject(test, { x: 0, width: 320, height: 230 })
        waitForRendering(old_page)
        waitForRendering(page)
        var image = grabImage(test)
        var old_region = shadow_region(old_page)
        var region = shadow_region(page)
        compare(region.width, old_region.width, "the label's size changed")
        compare(region.height, old_region.height, "the label's size changed")
        verify(dark_pixels(image, old_region) > 100, "the shader shadow page shows no code")
        verify(dark_pixels(image, region) > 100, "the page shows no code")

        var total = 0
        var worst = 0
        for (var y = 0; y < region.height; ++y) {
            for (var x = 0; x < region.width; ++x) {
                var a = [image.red(old_region.x + x, old_region.y + y), image.green(old_region.x + x, old_region.y + y),
                         image.blue(old_region.x + x, old_region.y + y)]
                var b = [image.red(region.x + x, region.y + y), image.green(region.x + x, region.y + y),
                         image.blue(region.x + x, region.y + y)]
                for (var c = 0; c < 3; ++c) {
                    var difference = Math.abs(a[c] - b[c])
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
